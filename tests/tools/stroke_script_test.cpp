// Stroke scripts: what a valid script reads as, the one-line error of every wrong shape, the
// warnings and clamps of ResolveStrokes, and writing a script back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "stroke_script.h"

namespace {

using paint::LineMode;
using paint::Stroke;
using paint::StrokeMode;

const paint::ParameterTable kTable{{10, 1, 1250}, {30, 0, 100}, {75, 0, 100}, {100, -100, 100}};

bool Parse(const std::string& text, std::vector<Stroke>* strokes, std::vector<std::string>* warnings,
           std::string* error) {
  return paint::ParseStrokeScript(text, strokes, warnings, error);
}

TEST(StrokeScript, ReadsEveryFieldAndLeavesUnsetValuesToTheDefaults) {
  const std::string text = R"({"strokes": [
      {"mode": "add", "radius": 40, "core": 60, "edge_snap": 70, "smoothing": -20, "band": 4,
       "points": [[10, 20], [11.6, 19.4]]},
      {"mode": "line", "line_mode": "subtract", "points": [[1, 2]]},
      {"mode": "band", "matting_radius": 7.5, "points": [[3, 4]]},
      {"mode": "auto", "points": [[0, 0]]}, {"mode": "smooth", "points": [[5, 5]]},
      {"mode": "subtract", "points": [[-3.5, 2.5]]}]})";
  std::vector<Stroke> s;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(Parse(text, &s, &warnings, &error)) << error;
  EXPECT_TRUE(warnings.empty());
  ASSERT_EQ(s.size(), 6u);
  EXPECT_TRUE(s[0].mode == StrokeMode::Add && *s[0].radius == 40 && *s[0].core == 60 && *s[0].edgeSnap == 70 &&
              *s[0].smoothing == -20 && s[0].band == 4);
  EXPECT_EQ(s[0].points, (std::vector<std::array<int, 2>>{{10, 20}, {12, 19}})) << "coordinates round to pixels";
  EXPECT_TRUE(s[1].mode == StrokeMode::Line && s[1].lineMode == LineMode::Subtract && !s[1].radius && s[1].band == 10);
  EXPECT_TRUE(s[2].mode == StrokeMode::Band && *s[2].mattingRadius == 7.5f);
  EXPECT_TRUE(s[3].mode == StrokeMode::Auto && s[4].mode == StrokeMode::Smooth);
  EXPECT_EQ(s[5].points[0], (std::array<int, 2>{-4, 3})) << "halves round away from zero";

  // The same strokes as a bare list.
  std::vector<Stroke> bare;
  ASSERT_TRUE(Parse(R"([{"mode": "add", "points": [[1, 1]]}])", &bare, &warnings, &error)) << error;
  EXPECT_EQ(bare.size(), 1u);
  ASSERT_TRUE(Parse(R"({"strokes": []})", &bare, &warnings, &error));
  EXPECT_TRUE(bare.empty());
}

TEST(StrokeScript, EveryWrongShapeGivesOneLineNamingTheProblem) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"", "not valid JSON"},
      {"{\"strokes\": [", "not valid JSON"},
      {"[{\"mode\": \"add\",}]", "line 1"},
      {"42", "expected a list of strokes"},
      {"{\"paths\": []}", "expected a list of strokes"},
      {"{\"strokes\": {}}", "expected a list of strokes"},
      {"[3]", "stroke 1: must be an object"},
      {"[{\"mode\": \"add\", \"points\": [[1, 1]]}, {\"points\": [[1, 1]]}]", "stroke 2: \"mode\" is missing"},
      {"[{\"mode\": 3, \"points\": [[1, 1]]}]", "stroke 1: \"mode\" must be a string"},
      {"[{\"mode\": \"paint\", \"points\": [[1, 1]]}]", "stroke 1: unknown mode \"paint\""},
      {"[{\"mode\": \"ADD\", \"points\": [[1, 1]]}]", "unknown mode \"ADD\""},
      {"[{\"mode\": \"add\", \"radius\": \"big\", \"points\": [[1, 1]]}]", "stroke 1: \"radius\" must be a number"},
      {"[{\"mode\": \"add\", \"core\": true, \"points\": [[1, 1]]}]", "\"core\" must be a number"},
      {"[{\"mode\": \"add\", \"edge_snap\": null, \"points\": [[1, 1]]}]", "\"edge_snap\" must be a number"},
      {"[{\"mode\": \"add\", \"smoothing\": [1], \"points\": [[1, 1]]}]", "\"smoothing\" must be a number"},
      {"[{\"mode\": \"band\", \"band\": \"4\", \"points\": [[1, 1]]}]", "\"band\" must be a number"},
      {"[{\"mode\": \"add\"}]", "stroke 1: \"points\" is missing"},
      {"[{\"mode\": \"add\", \"points\": []}]", "\"points\" is empty"},
      {"[{\"mode\": \"add\", \"points\": \"1,1\"}]", "\"points\" must be a list"},
      {"[{\"mode\": \"add\", \"points\": [[1, 1], [2]]}]", "point 2 must be a pair of numbers"},
      {"[{\"mode\": \"add\", \"points\": [[1, 1, 1]]}]", "point 1 must be a pair"},
      {"[{\"mode\": \"add\", \"points\": [{\"x\": 1, \"y\": 2}]}]", "point 1 must be a pair"},
      {"[{\"mode\": \"add\", \"points\": [[\"1\", 2]]}]", "point 1 must be a pair"},
      {"[{\"mode\": \"line\", \"line_mode\": \"smooth\", \"points\": [[1, 1]]}]", "\"line_mode\" must be"},
      {"[{\"mode\": \"add\", \"points\": [[1, 1]]}, {\"undo\": false}]", "stroke 2: \"undo\" must be true"},
  };
  for (const Case& c : cases) {
    std::vector<Stroke> strokes{Stroke{}};
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(Parse(c.text, &strokes, &warnings, &error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " -> " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(strokes.size(), 1u) << "a failed parse leaves the output alone";
  }
}

TEST(StrokeScript, HarmlessOdditiesOnlyWarn) {
  std::vector<Stroke> s;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(Parse(R"([{"mode": "add", "raduis": 5, "line_mode": "add", "matting_radius": 3, "points": [[1, 1]]}])",
                    &s, &warnings, &error))
      << error;
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[0].find("unknown key \"raduis\""), std::string::npos) << warnings[0];
  EXPECT_FALSE(s[0].radius.has_value());
  EXPECT_FALSE(s[0].mattingRadius.has_value());
  // Absurd magnitudes stay representable; ResolveStrokes clamps them.
  ASSERT_TRUE(Parse(R"([{"mode": "add", "radius": 1e300, "points": [[-1e300, 4e9]]}])", &s, &warnings, &error));
  EXPECT_EQ(*s[0].radius, 1000000000);
  EXPECT_EQ(s[0].points[0], (std::array<int, 2>{-1000000000, 1000000000}));
}

TEST(StrokeScript, ResolvingFillsDefaultsAndClampsIntoRangesAndTheImage) {
  std::vector<Stroke> s(3);
  s[0].points = {{5, 5}, {-1, 3}, {200, 99}, {199, 100}};
  s[1].radius = 0;
  s[1].core = 150;
  s[1].edgeSnap = -3;
  s[1].smoothing = -101;
  s[1].band = -2;
  s[1].points = {{0, 0}, {199, 99}};
  s[2].mode = StrokeMode::Band;
  s[2].radius = 5000;
  s[2].mattingRadius = 0.0f;
  s[2].band = 5000;
  s[2].points = {{10, 10}};
  std::vector<std::string> warnings;
  paint::ResolveStrokes(&s, kTable, 200, 100, &warnings);

  EXPECT_TRUE(*s[0].radius == 10 && *s[0].core == 30 && *s[0].edgeSnap == 75 && *s[0].smoothing == 100);
  EXPECT_EQ(s[0].points, (std::vector<std::array<int, 2>>{{5, 5}, {0, 3}, {199, 99}, {199, 99}}));
  EXPECT_TRUE(*s[1].radius == 1 && *s[1].core == 100 && *s[1].edgeSnap == 0 && *s[1].smoothing == -100 && s[1].band == 0);
  EXPECT_TRUE(*s[2].radius == 1250 && s[2].band == paint::kMaxBand && *s[2].mattingRadius == 1.0f);

  const std::vector<std::string> expected = {
      "stroke 1: 3 of 4 points lie outside the 200x100 image, moved to its border",
      "stroke 2: \"radius\" 0 is outside 1..1250, clamped to 1",
      "stroke 2: \"core\" 150 is outside 0..100, clamped to 100",
      "stroke 2: \"edge_snap\" -3 is outside 0..100, clamped to 0",
      "stroke 2: \"smoothing\" -101 is outside -100..100, clamped to -100",
      "stroke 2: \"band\" -2 is outside 0..1000, clamped to 0",
      "stroke 3: \"radius\" 5000 is outside 1..1250, clamped to 1250",
  };
  ASSERT_EQ(warnings.size(), expected.size() + 2) << "plus the band and the band brush of stroke 3";
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(warnings[i], expected[i]);

  // Values already in range pass without a word.
  warnings.clear();
  paint::ResolveStrokes(&s, kTable, 200, 100, &warnings);
  EXPECT_TRUE(warnings.empty());
}

TEST(StrokeScript, WrittenScriptsReadBackAsTheSameStrokes) {
  std::mt19937 rng(7);
  const StrokeMode modes[] = {StrokeMode::Add,    StrokeMode::Subtract, StrokeMode::Auto,
                              StrokeMode::Smooth, StrokeMode::Band,     StrokeMode::Line};
  for (int round = 0; round < 20; ++round) {
    std::vector<Stroke> strokes(1 + rng() % 5);
    for (Stroke& s : strokes) {
      if (rng() % 7 == 0) {
        s.undo = true;
        continue;
      }
      s.mode = modes[rng() % 6];
      if (s.mode == StrokeMode::Line) s.lineMode = static_cast<LineMode>(rng() % 3);
      if (rng() % 2) s.radius = static_cast<int>(rng() % 1300);
      if (rng() % 2) s.core = static_cast<int>(rng() % 101);
      if (rng() % 2) s.edgeSnap = static_cast<int>(rng() % 101);
      if (rng() % 2) s.smoothing = static_cast<int>(rng() % 201) - 100;
      s.band = static_cast<int>(rng() % 40);
      if (s.mode == StrokeMode::Band && rng() % 2) s.mattingRadius = static_cast<float>(rng() % 64) * 0.25f;
      s.points.resize(1 + rng() % 30);
      for (auto& p : s.points) p = {static_cast<int>(rng() % 5000) - 100, static_cast<int>(rng() % 5000) - 100};
    }
    std::vector<Stroke> back;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(Parse(paint::WriteStrokeScript(strokes), &back, &warnings, &error)) << error;
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(back.size(), strokes.size());
    for (std::size_t i = 0; i < strokes.size(); ++i) {
      const Stroke &a = back[i], &b = strokes[i];
      EXPECT_TRUE(a.mode == b.mode && a.lineMode == b.lineMode && a.radius == b.radius && a.core == b.core &&
                  a.edgeSnap == b.edgeSnap && a.smoothing == b.smoothing && a.band == b.band &&
                  a.mattingRadius == b.mattingRadius && a.points == b.points && a.undo == b.undo)
          << "round " << round << " stroke " << i;
    }
  }
}

TEST(StrokeScript, ShippedExampleUsesEveryModeAndFitsTheBuiltInScene) {
  std::ifstream in(std::string(VELDRA_PAINT_EXAMPLES) + "/strokes.json");
  ASSERT_TRUE(in) << "example script missing";
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Stroke> strokes;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(Parse(text, &strokes, &warnings, &error)) << error;
  paint::ResolveStrokes(&strokes, kTable, 1600, 1200, &warnings);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  std::set<StrokeMode> modes;
  for (const Stroke& s : strokes) modes.insert(s.mode);
  EXPECT_EQ(modes.size(), 5u) << "add, line, auto, smooth and band";
}

}  // namespace
