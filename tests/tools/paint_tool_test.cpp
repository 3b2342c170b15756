// veldra-paint end to end. A stroke script of every mode, with undo entries and values to clamp, runs
// through the command line on a picture and seed mask written as PNG files; its outputs must equal
// what a plain host gets from the same library calls made directly (edge snap data per brush box by
// the host conventions, extras over the whole image): mask, alpha and outline bit for bit, warnings
// line by line. Then one table of bad inputs with their exit codes and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <veldra/veldra_extras.h>

#include "cli.h"
#include "png_io.h"
#include "support/harness.h"
#include "support/host.h"

namespace {

using veldra_test::readFile;
using veldra_test::ScratchDir;
constexpr int W = 160, H = 120;

struct RunResult {
  int code;
  std::string out, err;
};

RunResult RunTool(const std::vector<std::string>& args) {
  std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
  RunResult r{paint::RunPaint(args, files[0], files[1]), "", ""};
  for (std::string* text : {&r.out, &r.err}) {
    std::FILE* f = files[text == &r.err];
    text->resize(static_cast<std::size_t>(std::ftell(f)));
    std::rewind(f);
    text->resize(std::fread(text->data(), 1, text->size(), f));
    std::fclose(f);
  }
  return r;
}

// The script the tool reads, and below it the same strokes as a host makes them: undone strokes and
// ignored keys left out, values clamped, unset ones at the library's defaults (10, 30, 75, 100).
const char* const kScript = R"([{"undo": true},
  {"mode": "add", "radius": 24, "core": 60, "pressure": 1, "points": [[8, 100], [60, 55], [70, 60], [80, 62]]},
  {"mode": "subtract", "radius": 16, "core": 40, "edge_snap": 101, "points": [[95, 50], [100, 60], [155, 115]]},
  {"mode": "auto", "radius": 18, "core": 50, "smoothing": -40, "points": [[110, 70], [118, 74]]},
  {"mode": "add", "radius": 40, "core": 100, "points": [[20, 100], [40, 110]]}, {"undo": true},
  {"mode": "smooth", "radius": 20, "smoothing": 60, "points": [[50, 75], [55, 85]]},
  {"mode": "line", "line_mode": "subtract", "radius": 6, "core": 100, "points": [[40, 30], [60, 40]]},
  {"mode": "line", "radius": 0, "points": [[2, 3], [20, 15], [30, 12]]},
  {"mode": "band", "band": 6, "matting_radius": 4, "radius": 12, "points": [[70, 30], [75, 35]]},
  {"mode": "smooth", "radius": 8, "points": [[-5, 60], [3, 60], [159, 119]]}])";

struct HostStroke {
  char kind;  // 'b' brush steps, 's' smoothing, 'l' line segments, 'r' band (regional) steps
  VELDRA::EDITMODE mode;
  int radius, core, snap, smoothing, band;
  std::vector<std::array<int, 2>> points;
};
const HostStroke kHostStrokes[] = {
    {'b', VELDRA::EDITMODE_ADD, 24, 60, 75, 100, 10, {{8, 100}, {60, 55}, {70, 60}, {80, 62}}},
    {'b', VELDRA::EDITMODE_SUBTRACT, 16, 40, 100, 100, 10, {{95, 50}, {100, 60}, {155, 115}}},
    {'b', VELDRA::EDITMODE_AUTO, 18, 50, 75, -40, 10, {{110, 70}, {118, 74}}},
    {'s', VELDRA::EDITMODE_ADD, 20, 30, 75, 60, 10, {{50, 75}, {55, 85}}},
    {'l', VELDRA::EDITMODE_SUBTRACT, 6, 100, 75, 100, 10, {{40, 30}, {60, 40}}},
    {'l', VELDRA::EDITMODE_ADD, 1, 30, 75, 100, 10, {{2, 3}, {20, 15}, {30, 12}}},
    {'r', VELDRA::EDITMODE_ADD, 12, 30, 75, 100, 6, {{70, 30}, {75, 35}}},
    {'s', VELDRA::EDITMODE_ADD, 8, 30, 75, 100, 10, {{0, 60}, {3, 60}, {159, 119}}},
};

void HostReplay(const veldra_test::RgbaImage& image, paint::GrayImage seed) {
  veldra_test::defaultParameters();
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, W, H, false));
  ASSERT_TRUE(VELDRA::InitSelection(0, 0, W, H, seed.pixels.data(), W));
  veldra_test::SnapField snap;
  for (const HostStroke& s : kHostStrokes) {
    const int values[4] = {s.radius, s.core, s.snap, s.smoothing};
    for (int p = 0; p < 4; ++p) VELDRA::SetParameter(static_cast<VELDRA::PARAM>(p), values[p]);
    VELDRA::MouseDown();
    if (s.kind == 'r') {
      VELDRA::setMattingBrushRadius(4.0f);
      VELDRA::enableRLS(s.band);
    }
    for (std::size_t i = 0; i < s.points.size(); ++i) {
      const auto [x, y] = s.points[i];
      const auto [fromX, fromY] = s.points[i ? i - 1 : 0];
      const veldra_test::Box box = veldra_test::brushBox(x, y, s.radius, W, H);
      if (s.kind == 'l') {
        EXPECT_TRUE(VELDRA::AddDeleteLine(s.mode, fromX, fromY, x, y));
      } else if (s.kind == 's') {
        EXPECT_TRUE(VELDRA::Smoothen(x, y, box.x, box.y, box.w, box.h));
      } else {
        EXPECT_TRUE(veldra_test::hostStep(image, s.mode, s.band, x, y, snap));
      }
    }
    VELDRA::MouseUp();
  }
}

paint::GrayImage ReadGray(const std::string& path) {
  paint::GrayImage image;
  std::string error;
  EXPECT_TRUE(paint::ReadGrayPng(path, &image, &error)) << error;
  return image;
}

TEST(PaintTool, ScriptRunGivesTheOutputsOfDirectLibraryCalls) {
  ScratchDir dir;
  const veldra_test::RgbaImage image = veldra_test::render(W, H, veldra_test::disc(70, 60, 35), {200, 90, 60},
                                                           {60, 110, 150}, 12.0);
  paint::RgbImage rgb(W, H);
  paint::GrayImage seed(W, H);
  for (int p = 0; p < W * H; ++p) std::copy_n(&image.pixels[4 * p], 3, &rgb.pixels[3 * p]);
  seed.pixels = veldra_test::discMask(W, H, 66, 58, 26).bytes;
  std::string error;
  ASSERT_TRUE(paint::WriteRgbPng(dir.file("image.png"), rgb, &error));
  ASSERT_TRUE(paint::WriteGrayPng(dir.file("seed.png"), seed, &error));
  const std::string script = dir.write("s.json", kScript), out = dir.file("out");
  const RunResult r = RunTool({"--image", dir.file("image.png"), "--seed-mask", dir.file("seed.png"), "--band", "4",
                               "--script", script, "--feather", "1.5", "--svg", "--field-dump", "--out", out});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string warnings;
  for (const char* w : {"stroke 2: ignoring unknown key \"pressure\"", "stroke 1: nothing to undo, ignored",
                        "stroke 3: \"edge_snap\" 101 is outside 0..100, clamped to 100",
                        "stroke 9: \"radius\" 0 is outside 1..1250, clamped to 1",
                        "stroke 11: 1 of 3 points lie outside the 160x120 image, moved to its border"})
    warnings += "veldra-paint: warning: " + script + ": " + w + "\n";
  EXPECT_EQ(r.err, warnings);

  HostReplay(image, seed);
  const paint::GrayImage mask = ReadGray(out + "/mask.png"), alpha = ReadGray(out + "/alpha.png");
  EXPECT_EQ(mask.pixels, veldra_test::readSelection(W, H, 4));
  std::vector<unsigned char> hostAlpha(W * H);
  ASSERT_TRUE(VELDRA_EXTRAS::GetSelectionAlpha(0, 0, W, H, hostAlpha.data(), W, 1.5f));
  EXPECT_EQ(alpha.pixels, hostAlpha);
  const VELDRA_EXTRAS::PathHandle path = VELDRA_EXTRAS::TraceSelectionPath(0, 0, W, H, 0.25f);
  std::string d(static_cast<std::size_t>(VELDRA_EXTRAS::WritePathSvg(path, nullptr, 0)) + 1, '\0');
  d.resize(static_cast<std::size_t>(VELDRA_EXTRAS::WritePathSvg(path, d.data(), std::ssize(d))));
  VELDRA_EXTRAS::ReleasePath(path);
  const std::string svg = readFile(out + "/selection.svg");
  EXPECT_NE(svg.find(" d=\"" + d + "\""), std::string::npos) << svg.substr(0, 300);
  EXPECT_NE(svg.find("href=\"data:image/png;base64,iVBOR"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(out + "/field.pbm"));

  const long long selected = std::count(mask.pixels.begin(), mask.pixels.end(), 255);
  ASSERT_TRUE(selected > 500 && std::count(mask.pixels.begin(), mask.pixels.end(), 128) > 100);
  EXPECT_NE(r.out.find("11 strokes, 23 events\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("selected area: " + std::to_string(selected) + " pixels"), std::string::npos) << r.out;
}

TEST(PaintTool, EveryBadInputStopsWithItsExitCodeAndOneErrorLine) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(paint::WriteRgbPng(dir.file("image.png"), paint::RgbImage(64, 48), &error) &&
              paint::WriteGrayPng(dir.file("other.png"), paint::GrayImage(48, 64), &error));
  dir.write("notes.png", "not a picture");
  dir.write("cut.png", readFile(dir.file("image.png")).substr(0, 60));
  const int usage = paint::kExitBadUsage, input = paint::kExitBadInput;
  struct Case {
    std::vector<std::string> args;  // "@name": that file of the scratch directory
    const char* script;             // when set, a script for the picture (--image, --script)
    int code;
    const char* message;
  };
  const Case cases[] = {
      {{"--paint"}, nullptr, usage, "unknown option \"--paint\""},
      {{"picture.png"}, nullptr, usage, "unexpected argument \"picture.png\""},
      {{"--image"}, nullptr, usage, "--image needs a value"},
      {{"--band", "-1"}, nullptr, usage, "--band needs a whole number"},
      {{"--svg=yes"}, nullptr, usage, "takes no value"},
      {{"--crop", "1,2,3"}, nullptr, usage, "--crop needs X,Y,W,H"},
      {{"--shrink", "0"}, nullptr, usage, "--shrink needs a whole factor"},
      {{"--scene", "64x64", "--crop", "64,0,5,5"}, nullptr, usage, "--crop starts outside the 64x64 image"},
      {{"--scene", "64x64", "--crop", "60,0,5,5", "--shrink", "5"}, nullptr, usage, "--shrink 5 leaves no pixel"},
      {{"--image", "@missing.png"}, nullptr, input, "missing.png: cannot open"},
      {{"--image", "@notes.png"}, nullptr, input, "notes.png: not a PNG file"},
      {{"--image", "@cut.png"}, nullptr, input, "cut.png: damaged PNG"},
      {{"--image", "@image.png", "--script", "@"}, nullptr, input, "is a directory"},
      {{"--image", "@image.png", "--seed-mask", "@other.png"}, nullptr, input,
       "seed mask is 48x64 but the image is 64x48"},
      {{"--out", "@notes.png/out"}, "[]", input, "cannot create the output directory"},
      {{}, "[{\"mode\": \"add\"", input, "s.json: not valid JSON"},
      {{}, "{\"mode\": \"add\"}", input, "s.json: expected a list of strokes"},
      {{}, "[{\"mode\": \"erase\", \"points\": [[1, 1]]}]", input, "stroke 1: unknown mode \"erase\""},
      {{}, "[{\"undo\": true}, {\"points\": [[1, 1]]}]", input, "stroke 2: \"mode\" is missing"},
      {{}, "[{\"mode\": \"add\", \"points\": [1, 2]}]", input, "stroke 1: point 1 must be a pair"},
      {{}, "[{\"mode\": \"add\", \"core\": true, \"points\": [[1, 1]]}]", input, "\"core\" must be a number"},
      {{}, "[{\"mode\": \"line\", \"line_mode\": \"smooth\", \"points\": [[1, 1]]}]", input,
       "\"line_mode\" must be"},
      {{}, "[{\"undo\": false}]", input, "stroke 1: \"undo\" must be true"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--out", dir.file("out")};
    for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.file(a.substr(1)) : a);
    if (c.script)
      args.insert(args.end(), {"--image", dir.file("image.png"), "--script", dir.write("s.json", c.script)});
    const RunResult r = RunTool(args);
    EXPECT_EQ(r.code, c.code) << c.message << ": " << r.err;
    EXPECT_EQ(r.err.rfind("veldra-paint: error: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << "wanted \"" << c.message << "\" in: " << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/mask.png"))) << "bad input stops before any output";
  const RunResult help = RunTool({"--help"});
  EXPECT_TRUE(help.code == 0 && help.out.rfind("usage: veldra-paint", 0) == 0 && help.err.empty()) << help.out;
}

}  // namespace
