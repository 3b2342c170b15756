// Brush strokes end to end through the exported functions, as a host drives them: synthetic images
// with objects of known shape, edge snap data computed per brush box, strokes of Step events, and the
// selection read back with GetSelection and compared with the object.
#include <gtest/gtest.h>

#include "api/engine.h"
#include "support/seeding_checks.h"
#include "support/synthetic_images.h"

namespace {

using namespace veldra_test;
using VELDRA_CORE::library;

constexpr int kW = 600, kH = 500;
constexpr double kCx = 300.0, kCy = 250.0, kR = 120.0;  // the disc object

RgbaImage discImage() { return render(kW, kH, disc(kCx, kCy, kR), {230, 200, 40}, {30, 60, 140}); }

// Runs `passes` strokes (MouseDown ... MouseUp) along a path.
void stroke(const RgbaImage& img, VELDRA::EDITMODE mode, const std::vector<std::pair<int, int>>& path, int passes = 1) {
  SnapField snap;
  for (int p = 0; p < passes; ++p) {
    VELDRA::MouseDown();
    for (const auto& [x, y] : path) ASSERT_TRUE(hostStep(img, mode, 0, x, y, snap));
    VELDRA::MouseUp();
  }
}

class Strokes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false));
    defaultParameters();
    VELDRA::MouseUp();
  }
  static VELDRA_CORE::SLMain& engine() { return *library().engine; }
  static VELDRA_TRW::SLGrid2D& grid() { return *library().engine->grid; }
  // Whether the selection holds the point (GetMattingMode would answer "band" within 10 pixels of
  // the boundary).
  static bool selectedAt(float x, float y) { return grid().SampleInterpolated(x, y, nullptr, nullptr) < 0.0f; }

  static void expectTreeConsistent() {
    EXPECT_TRUE(grid().checkGrading());
    EXPECT_TRUE(leafVisitsExact(grid()));
  }
};

// ---- the drivers' immediate behaviour ----

TEST_F(Strokes, FirstAddEventPaintsTheHardCoreWithoutEdges) {
  const RgbaImage flat = render(kW, kH, disc(-1000, -1000, 1), {0, 0, 0}, {128, 128, 128});
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 40);
  VELDRA::SetParameter(VELDRA::PARAM_CORE, 50);  // hard core 20.5 pixels
  VELDRA::MouseDown();
  SnapField snap;
  ASSERT_TRUE(hostStep(flat, VELDRA::EDITMODE_ADD, 0, 200, 200, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_ADD);
  EXPECT_FLOAT_EQ(engine().innerRadius, 20.5f);
  // Inside the core the selection holds; beyond the brush nothing was added.
  EXPECT_EQ(VELDRA::GetMattingMode(200, 200), VELDRA::EDITMODE_ADD);
  EXPECT_TRUE(selectedAt(200.0f, 214.0f));
  EXPECT_FALSE(selectedAt(200.0f, 245.0f));
  // Later events of the stroke keep adding even when they start outside the selection.
  ASSERT_TRUE(hostStep(flat, VELDRA::EDITMODE_SUBTRACT, 0, 300, 200, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_ADD);
  EXPECT_TRUE(selectedAt(300.0f, 200.0f));
  expectTreeConsistent();
}

TEST_F(Strokes, SmoothModeAndBandModeChooseWithoutPainting) {
  const RgbaImage flat = render(kW, kH, disc(-1000, -1000, 1), {0, 0, 0}, {128, 128, 128});
  const std::vector<unsigned char> before = readSelection(kW, kH);
  const unsigned freeBefore = grid().nodes.freeCount;
  VELDRA::MouseDown();
  EXPECT_TRUE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_SMOOTH, 100, 100, 300, 200));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_SMOOTH);
  EXPECT_EQ(grid().nodes.freeCount, freeBefore);
  VELDRA::MouseDown();
  SnapField snap;
  ASSERT_TRUE(hostStep(flat, VELDRA::EDITMODE_BAND, 0, 200, 200, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_IDLE);
  EXPECT_EQ(readSelection(kW, kH), before);
}

TEST_F(Strokes, AddDeleteLinePaintsTheCapsuleAndNothingFarFromIt) {
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 20);
  VELDRA::SetParameter(VELDRA::PARAM_CORE, 50);  // hard core 10.5
  const Shape capsule{[](double x, double y) {
    const double ux = 400 - 120, uy = 330 - 180;
    const double t = std::clamp(((x - 120) * ux + (y - 180) * uy) / (ux * ux + uy * uy), 0.0, 1.0);
    return std::hypot(x - 120 - t * ux, y - 180 - t * uy) - 10.5;
  }};
  VELDRA::MouseDown();
  ASSERT_TRUE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 120, 180, 400, 330));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_ADD);
  const std::vector<unsigned char> mask = readSelection(kW, kH);
  int wrong = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      wrong += std::fabs(capsule.distance(x, y)) > 1.5 && (mask[y * kW + x] > 128) != capsule.inside(x, y);
  EXPECT_EQ(wrong, 0);
  // A subtracting line across it cuts it in two.
  VELDRA::MouseDown();
  ASSERT_TRUE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_SUBTRACT, 260, 150, 260, 360));
  EXPECT_FALSE(selectedAt(260.0f, 255.0f));
  EXPECT_TRUE(selectedAt(150.0f, 196.0f));
  expectTreeConsistent();
}

// ---- edge snapping on synthetic images ----

// Strokes along an object's edge on a selection seeded off it find the edge: add strokes 10 pixels
// inside a selection seeded 10 pixels smaller (the hard core joins the old selection and reaches to
// within a pixel of the edge), a subtract stroke outside an over-selection trims it back. In the
// brush's ring the add stroke's inflation pulls every front inward unless the edge term holds it, so
// without edge snap the disc is missed by pixels.
TEST_F(Strokes, StrokesAlongAnEdgeEndOnIt) {
  const int c = static_cast<int>(kCx), m = static_cast<int>(kCy);
  std::vector<std::pair<int, int>> squarePath;
  for (int side = 0; side < 4; ++side)
    for (int t = -100; t < 100; t += 3) {
      const std::pair<int, int> along[4] = {{c + t, m - 100}, {c + 100, m + t}, {c - t, m + 100}, {c - 100, m - t}};
      squarePath.push_back(along[side]);
    }
  struct Case {
    const char* name;
    Shape object;
    double grain, seedOffset;
    VELDRA::EDITMODE mode;
    std::vector<std::pair<int, int>> path;
    int passes;
    double minIou, maxDistance;
    bool edgeSnapMatters;
  };
  const Case cases[] = {
      {"add inside a disc", disc(kCx, kCy, kR), 0.0, -10.0, VELDRA::EDITMODE_ADD,
       arcPath(kCx, kCy, kR - 10.0, 0.0, 2.0 * M_PI, 3.0), 2, 0.99, 1.0, true},
      {"add inside a textured square", square(kCx, kCy, 110.0), 25.0, -10.0, VELDRA::EDITMODE_ADD, squarePath, 2, 0.98,
       1.5, false},
      {"subtract outside a disc", disc(kCx, kCy, kR), 0.0, 25.0, VELDRA::EDITMODE_SUBTRACT,
       arcPath(kCx, kCy, kR + 22.0, 0.0, 2.0 * M_PI, 3.0), 3, 0.97, 1.5, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const RgbaImage img = k.grain > 0 ? render(kW, kH, k.object, {200, 90, 70}, {70, 130, 170}, k.grain) : discImage();
    const auto run = [&](int edgeSnap) {
      EXPECT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false));
      EXPECT_TRUE(seedSelection(kW, kH, k.object, k.seedOffset));
      VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 30);
      VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, edgeSnap);
      stroke(img, k.mode, k.path, k.passes);
      return agreement(readSelection(kW, kH), kW, kH, k.object);
    };
    const Agreement a = run(100);
    EXPECT_GT(a.iou, k.minIou);
    EXPECT_LT(a.meanBoundaryDistance, k.maxDistance);
    expectTreeConsistent();
    if (k.edgeSnapMatters) {
      const Agreement unsnapped = run(0);
      EXPECT_GT(a.iou, unsnapped.iou + 0.05);
      EXPECT_LT(a.meanBoundaryDistance, unsnapped.meanBoundaryDistance - 3.0);
    }
  }
}

TEST_F(Strokes, AutoModeKeepsTheSideOnWhichTheStrokeStarted) {
  const RgbaImage img = discImage();
  ASSERT_TRUE(seedSelection(kW, kH, disc(kCx, kCy, kR)));
  SnapField snap;
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 12);
  // Starts inside: adds, also where it then runs outside the selection.
  VELDRA::MouseDown();
  for (int x = 300; x <= 520; x += 4) ASSERT_TRUE(hostStep(img, VELDRA::EDITMODE_AUTO, 0, x, 250, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_ADD);
  VELDRA::MouseUp();
  EXPECT_TRUE(selectedAt(500.0f, 250.0f));
  // The next stroke starts outside: subtracts, also inside.
  VELDRA::MouseDown();
  for (int y = 20; y <= 250; y += 4) ASSERT_TRUE(hostStep(img, VELDRA::EDITMODE_AUTO, 0, 200, y, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_SUBTRACT);
  VELDRA::MouseUp();
  EXPECT_FALSE(selectedAt(200.0f, 240.0f));
  EXPECT_TRUE(selectedAt(kCx, kCy));  // untouched by either stroke
  expectTreeConsistent();
}

// ---- the regional partition ----

// Widths of the 128 run crossing the square's left edge, on rows through the middle.
double bandWidthAcrossLeftEdge(const std::vector<unsigned char>& mask, int yFrom, int yTo) {
  double total = 0.0;
  for (int y = yFrom; y < yTo; ++y)
    for (int x = 100; x < 300; ++x) total += mask[y * kW + x] == 128;
  return total / (yTo - yFrom);
}

TEST_F(Strokes, RegionalBandHasTheRequestedWidthAndGrowsUnderTheBandBrush) {
  const Shape object = square(kCx, kCy, 100.0);  // left edge at x = 200
  const RgbaImage img = render(kW, kH, object, {230, 200, 40}, {30, 60, 140});
  ASSERT_TRUE(seedSelection(kW, kH, object));
  const int band = 20;
  VELDRA::enableRLS(band);
  EXPECT_TRUE(library().regionalStroke);
  EXPECT_EQ(grid().useRegional, 1);
  const std::vector<unsigned char> mask = readSelection(kW, kH);
  const double width = bandWidthAcrossLeftEdge(mask, 200, 300);
  // About 2 * (band / 2 - 2.2) + 1 = 16.6: leaves within |phi| <= 10 are band, and the pixel-corner
  // read-out loses the outermost corner on each side, which gives 15 on a straight edge.
  EXPECT_NEAR(width, 2.0 * (band / 2 - 2.2) + 1.0, 2.0);
  EXPECT_EQ(VELDRA::GetMattingMode(200, 250), VELDRA::EDITMODE_BAND);
  EXPECT_EQ(VELDRA::GetMattingMode(300, 250), VELDRA::EDITMODE_ADD);
  EXPECT_EQ(VELDRA::GetMattingMode(50, 250), VELDRA::EDITMODE_SUBTRACT);

  // Brush events on the band widen it under the brush (band brush).
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 20);
  SnapField snap;
  VELDRA::MouseDown();
  for (int k = 0; k < 25; ++k) {
    ASSERT_TRUE(hostStep(img, VELDRA::EDITMODE_ADD, band, 200, 250, snap));
    EXPECT_EQ(engine().operation, VELDRA_CORE::OP_REGION_BRUSH);
  }
  const double widened = bandWidthAcrossLeftEdge(readSelection(kW, kH), 245, 256);
  EXPECT_GT(widened, width + 3.0);

  // Off the band, the stroke paints band discs of the matting radius (band paint).
  VELDRA::setMattingBrushRadius(6.0f);
  ASSERT_TRUE(hostStep(img, VELDRA::EDITMODE_ADD, band, 300, 200, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_BAND_PAINT);
  EXPECT_EQ(VELDRA::GetMattingMode(300, 200), VELDRA::EDITMODE_BAND);
  EXPECT_EQ(VELDRA::GetMattingMode(300, 235), VELDRA::EDITMODE_ADD);

  // MouseUp ends the regional stroke but keeps the partition: the next stroke adds.
  VELDRA::MouseUp();
  EXPECT_FALSE(library().regionalStroke);
  EXPECT_EQ(grid().useRegional, 1);
  VELDRA::MouseDown();
  ASSERT_TRUE(hostStep(img, VELDRA::EDITMODE_ADD, band, 300, 250, snap));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_ADD);
  expectTreeConsistent();
}

}  // namespace
