// The command line end to end: every kind of bad input gives one error line and its exit code,
// clamped values give warnings and still run, and a good run writes its files and its summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "cli.h"
#include "default_script.h"
#include "png_io.h"
#include "scene.h"
#include "stroke_script.h"
#include "support/scratch_dir.h"

namespace {

using veldra_test::readFile;
using veldra_test::ScratchDir;

struct RunResult {
  int code;
  std::string out, err;
};

std::string ReadBack(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

RunResult RunTool(const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int code = paint::RunPaint(args, out, err);
  return {code, ReadBack(out), ReadBack(err)};
}

// A small picture and masks written into dir.
struct Files {
  std::string image, mask, otherSizeMask;
};
Files WriteInputs(const ScratchDir& dir) {
  paint::RgbImage image(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) image.at(x, y)[0] = x > 30 ? 220 : 30;
  paint::GrayImage mask(64, 48), other(48, 64);
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 30; ++x) *mask.at(x, y) = 255;
  std::string error;
  EXPECT_TRUE(paint::WriteRgbPng(dir.file("image.png"), image, &error));
  EXPECT_TRUE(paint::WriteGrayPng(dir.file("seed.png"), mask, &error));
  EXPECT_TRUE(paint::WriteGrayPng(dir.file("other.png"), other, &error));
  return {dir.file("image.png"), dir.file("seed.png"), dir.file("other.png")};
}

void ExpectOneErrorLine(const RunResult& r, int code, const std::string& expected) {
  EXPECT_EQ(r.code, code) << r.err;
  EXPECT_EQ(r.err.rfind("veldra-paint: error: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find(expected), std::string::npos) << "wanted \"" << expected << "\" in: " << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(Cli, HelpAndBadCommandLines) {
  const RunResult help = RunTool({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: veldra-paint", 0), 0u);
  EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
  ExpectOneErrorLine(RunTool({"--paint"}), paint::kExitBadUsage, "unknown option \"--paint\"");
  ExpectOneErrorLine(RunTool({"picture.png"}), paint::kExitBadUsage, "unexpected argument \"picture.png\"");
  ExpectOneErrorLine(RunTool({"--image"}), paint::kExitBadUsage, "--image needs a value");
  ExpectOneErrorLine(RunTool({"--image="}), paint::kExitBadUsage, "non-empty value");
  ExpectOneErrorLine(RunTool({"--band", "-1"}), paint::kExitBadUsage, "--band needs a whole number");
  ExpectOneErrorLine(RunTool({"--band=7px"}), paint::kExitBadUsage, "--band needs a whole number");
  ExpectOneErrorLine(RunTool({"--scene", "100x20"}), paint::kExitBadUsage, "--scene needs a size");
  ExpectOneErrorLine(RunTool({"--help=yes"}), paint::kExitBadUsage, "takes no value");
  ExpectOneErrorLine(RunTool({"--crop", "1,2,3"}), paint::kExitBadUsage, "--crop needs X,Y,W,H");
  ExpectOneErrorLine(RunTool({"--crop=-1,0,5,5"}), paint::kExitBadUsage, "--crop needs X,Y,W,H");
  ExpectOneErrorLine(RunTool({"--crop", "0,0,0,5"}), paint::kExitBadUsage, "--crop needs X,Y,W,H");
  ExpectOneErrorLine(RunTool({"--shrink", "0"}), paint::kExitBadUsage, "--shrink needs a whole factor");
  ExpectOneErrorLine(RunTool({"--scene", "64x64", "--crop", "64,0,5,5"}), paint::kExitBadUsage,
                     "--crop starts outside the 64x64 image");
  ExpectOneErrorLine(RunTool({"--scene", "64x64", "--crop", "60,0,5,5", "--shrink", "5"}), paint::kExitBadUsage,
                     "--shrink 5 leaves no pixel");
  ExpectOneErrorLine(RunTool({"--feather", "-2"}), paint::kExitBadUsage, "--feather needs a number");
  ExpectOneErrorLine(RunTool({"--svg=yes"}), paint::kExitBadUsage, "takes no value");
}

TEST(Cli, EveryBadInputNamesItsProblem) {
  ScratchDir dir;
  const Files f = WriteInputs(dir);
  const std::string out = dir.file("out");
  const std::string text = dir.write("notes.png", "not a picture");
  const std::string goodScript = dir.write("good.json", R"([{"mode": "add", "points": [[20, 20]]}])");
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"--out", out});
    return RunTool(args);
  };
  ExpectOneErrorLine(run({"--image", dir.file("missing.png")}), paint::kExitBadInput, "missing.png: cannot open");
  ExpectOneErrorLine(run({"--image", text}), paint::kExitBadInput, "notes.png: not a PNG file");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.file("missing.json")}), paint::kExitBadInput,
                     "missing.json: cannot open");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.file("")}), paint::kExitBadInput, "is a directory");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.write("a.json", "[{\"mode\": \"add\"")}),
                     paint::kExitBadInput, "a.json: not valid JSON");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.write("b.json", "{\"mode\": \"add\"}")}),
                     paint::kExitBadInput, "b.json: expected a list of strokes");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.write("c.json", "[{\"mode\": \"erase\", \"points\": [[1, 1]]}]")}),
                     paint::kExitBadInput, "c.json: stroke 1: unknown mode \"erase\"");
  ExpectOneErrorLine(run({"--image", f.image, "--script", dir.write("d.json", "[{\"mode\": \"add\", \"points\": [1, 2]}]")}),
                     paint::kExitBadInput, "d.json: stroke 1: point 1 must be a pair");
  ExpectOneErrorLine(run({"--image", f.image, "--seed-mask", f.otherSizeMask}), paint::kExitBadInput,
                     "other.png: seed mask is 48x64 but the image is 64x48");
  ExpectOneErrorLine(run({"--image", f.image, "--seed-mask", text}), paint::kExitBadInput, "not a PNG file");
  ExpectOneErrorLine(run({"--image", f.image, "--reference", f.otherSizeMask}), paint::kExitBadInput,
                     "reference mask is 48x64");
  ExpectOneErrorLine(run({"--scene", "64x64", "--seed-mask", f.mask}), paint::kExitBadInput,
                     "seed mask is 64x48 but the image is 64x64");
  // An output directory that cannot be made.
  ExpectOneErrorLine(RunTool({"--image", f.image, "--script", goodScript, "--out", text + "/out"}), paint::kExitBadInput,
                     "cannot create the output directory");
  EXPECT_FALSE(std::filesystem::exists(out + "/mask.png")) << "bad input stops before any output";
}

TEST(Cli, OutOfRangeValuesAreClampedWithWarnings) {
  ScratchDir dir;
  const Files f = WriteInputs(dir);
  const std::string script = dir.write("s.json", R"({"strokes": [
      {"mode": "add", "radius": 5000, "core": -4, "points": [[20, 20], [70, -9]]},
      {"mode": "subtract", "radius": 0, "smoothing": 300, "edge_snap": 101, "pressure": 3, "points": [[25, 25]]}]})");
  const RunResult r = RunTool({"--image", f.image, "--script", script, "--seed-mask", f.mask, "--out", dir.file("out")});
  EXPECT_EQ(r.code, 0) << r.err;
  const char* const expected[] = {
      "s.json: stroke 2: ignoring unknown key \"pressure\"",
      "s.json: stroke 1: \"radius\" 5000 is outside 1..1250, clamped to 1250",
      "s.json: stroke 1: \"core\" -4 is outside 0..100, clamped to 0",
      "s.json: stroke 1: 1 of 2 points lie outside the 64x48 image, moved to its border",
      "s.json: stroke 2: \"radius\" 0 is outside 1..1250, clamped to 1",
      "s.json: stroke 2: \"edge_snap\" 101 is outside 0..100, clamped to 100",
      "s.json: stroke 2: \"smoothing\" 300 is outside -100..100, clamped to 100",
  };
  for (const char* w : expected)
    EXPECT_NE(r.err.find(std::string("veldra-paint: warning: ") + dir.file(w) + "\n"), std::string::npos)
        << w << " in:\n" << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 7) << r.err;
  EXPECT_NE(r.out.find("2 strokes, 3 events"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("IoU"), std::string::npos) << "no reference, no IoU";

  // An own script on the built-in scene may aim at any object: no comparison with the target.
  const RunResult own = RunTool({"--scene", "200x150", "--script", script, "--out", dir.file("own")});
  EXPECT_EQ(own.code, 0) << own.err;
  EXPECT_EQ(own.out.find("IoU"), std::string::npos) << own.out;
}

TEST(Cli, BuiltInRunWritesMaskOverlayScriptAndFieldDumpAndSummarises) {
  ScratchDir dir;
  const std::string out = dir.file("result");
  const bool dumpHereBefore = std::filesystem::exists("field.pbm");
  const RunResult r = RunTool({"--scene", "400x300", "--out", out, "--field-dump", "--band=4", "--write-script",
                           dir.file("default.json")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << "no progress line when stderr is not a terminal: " << r.err;
  EXPECT_EQ(r.out.rfind("veldra-paint: built-in scene 400x300, 5 strokes, ", 0), 0u) << r.out;
  for (const char* line : {"time per event: median ", "selected area: ", "IoU against the scene's object mask: ",
                           "field.pbm"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " in:\n" << r.out;

  paint::GrayImage mask;
  paint::RgbaImage overlay;
  std::string error;
  ASSERT_TRUE(paint::ReadGrayPng(out + "/mask.png", &mask, &error)) << error;
  ASSERT_TRUE(paint::ReadRgbaPng(out + "/overlay.png", &overlay, &error)) << error;
  EXPECT_EQ(mask.width, 400);
  EXPECT_EQ(overlay.height, 300);
  for (const std::uint8_t v : mask.pixels) ASSERT_TRUE(v == 0 || v == 128 || v == 255);
  EXPECT_TRUE(std::filesystem::exists(out + "/field.pbm"));
  if (!dumpHereBefore) {
    EXPECT_FALSE(std::filesystem::exists("field.pbm")) << "the dump lands in the out dir only";
  }

  // The written script is the built-in one, as replayed.
  std::vector<paint::Stroke> written;
  std::vector<std::string> warnings;
  ASSERT_TRUE(paint::ParseStrokeScript(readFile(dir.file("default.json")), &written, &warnings, &error)) << error;
  const std::vector<paint::Stroke> builtIn = paint::DefaultStrokes(paint::GenerateScene(400, 300));
  ASSERT_EQ(written.size(), builtIn.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(written[i].points, builtIn[i].points);
    EXPECT_EQ(written[i].radius, builtIn[i].radius);
  }

  // Replaying the written script on the scene saved as a picture gives the same mask.
  paint::RgbImage scene(400, 300);
  const paint::Scene s = paint::GenerateScene(400, 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) std::copy_n(s.image.at(x, y), 3, scene.at(x, y));
  ASSERT_TRUE(paint::WriteRgbPng(dir.file("scene.png"), scene, &error));
  ASSERT_TRUE(paint::WriteGrayPng(dir.file("target.png"), s.targetMask, &error));
  const RunResult again = RunTool({"--image", dir.file("scene.png"), "--script", dir.file("default.json"), "--reference",
                               dir.file("target.png"), "--band", "4", "--out", dir.file("again")});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("IoU against " + dir.file("target.png")), std::string::npos) << again.out;
  paint::GrayImage maskAgain;
  ASSERT_TRUE(paint::ReadGrayPng(dir.file("again/mask.png"), &maskAgain, &error)) << error;
  EXPECT_EQ(maskAgain.pixels, mask.pixels);

  // A crop writes that part of the mask and of the overlay, which --shrink then averages down; the
  // summary still covers the whole image.
  const RunResult cut = RunTool({"--scene", "400x300", "--band", "4", "--crop", "150,60,400,100", "--shrink", "3",
                                 "--out", dir.file("cut")});
  ASSERT_EQ(cut.code, 0) << cut.err;
  const auto areaLine = [](const std::string& text) {
    const std::size_t a = text.find("selected area");
    return text.substr(a, text.find('\n', a) - a);
  };
  EXPECT_EQ(areaLine(cut.out), areaLine(r.out));
  paint::GrayImage cutMask;
  paint::RgbaImage cutOverlay;
  ASSERT_TRUE(paint::ReadGrayPng(dir.file("cut/mask.png"), &cutMask, &error)) << error;
  ASSERT_TRUE(paint::ReadRgbaPng(dir.file("cut/overlay.png"), &cutOverlay, &error)) << error;
  ASSERT_TRUE(cutMask.width == 250 && cutMask.height == 100 && cutOverlay.width == 83 && cutOverlay.height == 33);
  for (int y = 0; y < 100; ++y) ASSERT_TRUE(std::equal(cutMask.at(0, y), cutMask.at(0, y) + 250, mask.at(150, 60 + y)));
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 83; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int k = 0; k < 9; ++k) sum += overlay.at(150 + 3 * x + k % 3, 60 + 3 * y + k / 3)[c];
        ASSERT_EQ(cutOverlay.at(x, y)[c], (sum + 4) / 9) << x << "," << y;
      }
}

// Soft edges, the outline as SVG, and undo entries: a stroke taken back leaves the mask of the
// strokes before it, and an undo with nothing to take back is ignored with a warning.
TEST(Cli, AlphaSvgAndUndo) {
  ScratchDir dir;
  const Files f = WriteInputs(dir);
  const std::string once = dir.write("once.json", R"([{"mode": "add", "radius": 9, "core": 100, "points": [[20, 20]]}])");
  const std::string taken = dir.write("taken.json", R"([{"undo": true}, {"mode": "add", "radius": 9, "core": 100,
      "points": [[20, 20]]}, {"mode": "add", "radius": 7, "core": 100, "points": [[45, 30]]}, {"undo": true}])");
  const RunResult a = RunTool({"--image", f.image, "--script", once, "--out", dir.file("a"), "--feather", "1.5", "--svg"});
  const RunResult b = RunTool({"--image", f.image, "--script", taken, "--out", dir.file("b")});
  ASSERT_EQ(a.code, 0) << a.err;
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_EQ(b.err, "veldra-paint: warning: " + taken + ": stroke 1: nothing to undo, ignored\n");
  EXPECT_EQ(readFile(dir.file("a/mask.png")), readFile(dir.file("b/mask.png")));
  paint::GrayImage mask, alpha;
  std::string error;
  ASSERT_TRUE(paint::ReadGrayPng(dir.file("a/mask.png"), &mask, &error)) << error;
  ASSERT_TRUE(paint::ReadGrayPng(dir.file("a/alpha.png"), &alpha, &error)) << error;
  const auto count = [](const paint::GrayImage& m, auto pred) { return std::count_if(m.pixels.begin(), m.pixels.end(), pred); };
  // Feathered: full alpha only well inside the selection, some alpha a little beyond it.
  const auto full = [](std::uint8_t v) { return v == 255; };
  EXPECT_LT(count(alpha, full), count(mask, full));
  EXPECT_GT(count(alpha, [](std::uint8_t v) { return v > 0; }), count(mask, full));
  paint::RgbaImage overlay;
  ASSERT_TRUE(paint::ReadRgbaPng(dir.file("a/overlay.png"), &overlay, &error)) << error;
  int outlined = 0;  // pixels in the outline's red
  for (std::size_t p = 0; p < overlay.pixels.size(); p += 4)
    outlined += overlay.pixels[p] == 230 && overlay.pixels[p + 1] == 20 && overlay.pixels[p + 2] == 20;
  EXPECT_GT(outlined, 30);
  const std::string svg = readFile(dir.file("a/selection.svg"));
  for (const char* part : {"<svg ", "href=\"data:image/png;base64,iVBOR", "<path ", " d=\"M", " Z\"/>", "</svg>"})
    EXPECT_NE(svg.find(part), std::string::npos) << part;
}

}  // namespace
