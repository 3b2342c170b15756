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

// ---- the host's side ----

// The block handed to ComputeEdgeSnapData is the brush box grown by 12 pixels, pixels beyond the image
// repeating the nearest edge pixel: checked pixel by pixel for boxes at every edge and corner and
// inside the image (handed over in place).
TEST(HostSnapBlock, RepeatsTheNearestEdgePixelBeyondTheImage) {
  RgbaImage img{37, 29, {}};
  img.pixels.resize(static_cast<std::size_t>(img.width) * img.height * 4);
  for (std::size_t k = 0; k < img.pixels.size(); ++k) img.pixels[k] = static_cast<unsigned char>(k * 7 + k / 13);
  SnapField snap;
  for (int y = -3; y < img.height + 3; y += 4)
    for (int x = -3; x < img.width + 3; x += 4)
      for (int radius : {0, 3, 20}) {
        const Box box = brushBox(x, y, radius, img.width, img.height);
        computeSnap(img, box, snap);
        const int bw = box.w + 24, bh = box.h + 24;
        ASSERT_GE(snap.sourceStride, bw);
        for (int r = 0; r < bh; ++r)
          for (int c = 0; c < bw; ++c) {
            const unsigned char* want = img.at(std::clamp(box.x - 12 + c, 0, img.width - 1),
                                               std::clamp(box.y - 12 + r, 0, img.height - 1));
            for (int k = 0; k < 4; ++k)
              ASSERT_EQ(snap.source[(static_cast<std::size_t>(r) * snap.sourceStride + c) * 4 + k], want[k])
                  << "box " << box.x << "," << box.y << " " << box.w << "x" << box.h << " at " << c << "," << r;
          }
      }
}

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
    for (int x = 0; x < kW; ++x) wrong += std::fabs(capsule.distance(x, y)) > 1.5 && (mask[y * kW + x] > 128) != capsule.inside(x, y);
  EXPECT_EQ(wrong, 0);
  const Agreement a = agreement(mask, kW, kH, capsule);
  EXPECT_GT(a.iou, 0.95);
  EXPECT_LT(a.meanBoundaryDistance, 1.0);
  // A subtracting line across it cuts it in two.
  VELDRA::MouseDown();
  ASSERT_TRUE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_SUBTRACT, 260, 150, 260, 360));
  EXPECT_FALSE(selectedAt(260.0f, 255.0f));
  EXPECT_TRUE(selectedAt(150.0f, 196.0f));
  expectTreeConsistent();
}

// ---- edge snapping on synthetic images ----

// Add strokes 10 pixels inside the disc's edge on a selection seeded 10 pixels smaller, so that the
// hard core joins the old selection and reaches to within a pixel of the edge; returns the
// selection's agreement with the disc. (In the brush's ring the add stroke's inflation pulls every
// front inward unless the edge term holds it, so the front left free in the ring is the outer one.)
Agreement addStrokeOnDisc(const RgbaImage& img, int edgeSnap) {
  EXPECT_TRUE(seedSelection(kW, kH, disc(kCx, kCy, kR), -10.0));
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 30);
  VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, edgeSnap);
  stroke(img, VELDRA::EDITMODE_ADD, arcPath(kCx, kCy, kR - 10.0, 0.0, 2.0 * M_PI, 3.0), 2);
  return agreement(readSelection(kW, kH), kW, kH, disc(kCx, kCy, kR));
}

TEST_F(Strokes, AddStrokeInsideTheDiscEndsOnItsEdgeAndEdgeSnapMakesTheDifference) {
  const RgbaImage img = discImage();
  const Agreement snapped = addStrokeOnDisc(img, 100);
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false));
  const Agreement unsnapped = addStrokeOnDisc(img, 0);
  EXPECT_GT(snapped.iou, 0.99);
  EXPECT_LT(snapped.meanBoundaryDistance, 1.0);
  EXPECT_GT(snapped.iou, unsnapped.iou + 0.05);
  EXPECT_LT(snapped.meanBoundaryDistance, unsnapped.meanBoundaryDistance - 3.0);
  expectTreeConsistent();
}

TEST_F(Strokes, AddStrokeFindsTheEdgeOfATexturedSquareOnATexturedBackground) {
  const Shape object = square(kCx, kCy, 110.0);
  const RgbaImage img = render(kW, kH, object, {200, 90, 70}, {70, 130, 170}, 25.0);
  ASSERT_TRUE(seedSelection(kW, kH, object, -10.0));
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 30);
  VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, 100);
  // Around the four sides, 10 pixels inside.
  std::vector<std::pair<int, int>> path;
  const int c = static_cast<int>(kCx), m = static_cast<int>(kCy);
  for (int t = -100; t < 100; t += 3) path.emplace_back(c + t, m - 100);
  for (int t = -100; t < 100; t += 3) path.emplace_back(c + 100, m + t);
  for (int t = -100; t < 100; t += 3) path.emplace_back(c - t, m + 100);
  for (int t = -100; t < 100; t += 3) path.emplace_back(c - 100, m - t);
  stroke(img, VELDRA::EDITMODE_ADD, path, 2);
  const Agreement a = agreement(readSelection(kW, kH), kW, kH, object);
  EXPECT_GT(a.iou, 0.98);
  EXPECT_LT(a.meanBoundaryDistance, 1.5);
}

TEST_F(Strokes, SubtractStrokeOutsideAnOverSelectionTrimsItBackToTheEdge) {
  const RgbaImage img = discImage();
  ASSERT_TRUE(seedSelection(kW, kH, disc(kCx, kCy, kR), 25.0));
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 30);
  VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, 100);
  stroke(img, VELDRA::EDITMODE_SUBTRACT, arcPath(kCx, kCy, kR + 22.0, 0.0, 2.0 * M_PI, 3.0), 3);
  const Agreement after = agreement(readSelection(kW, kH), kW, kH, disc(kCx, kCy, kR));
  EXPECT_GT(after.iou, 0.97);
  EXPECT_LT(after.meanBoundaryDistance, 1.5);
  expectTreeConsistent();
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

// Boundary length of a mask: the number of pixel edges between selected and unselected pixels.
long boundaryLength(const std::vector<unsigned char>& mask) {
  long edges = 0;
  for (int y = 0; y + 1 < kH; ++y)
    for (int x = 0; x + 1 < kW; ++x)
      edges += ((mask[y * kW + x] > 128) != (mask[y * kW + x + 1] > 128)) + ((mask[y * kW + x] > 128) != (mask[(y + 1) * kW + x] > 128));
  return edges;
}

TEST_F(Strokes, SmoothingShortensAJaggedBoundary) {
  // A disc whose radius zig-zags by +-4 pixels sixty times around.
  const Shape jagged{[](double x, double y) {
    const double a = std::atan2(y - kCy, x - kCx);
    const double saw = std::fabs(std::fmod(a * 60.0 / (2.0 * M_PI) + 100.0, 1.0) - 0.5) * 16.0 - 4.0;
    return std::hypot(x - kCx, y - kCy) - (kR + saw);
  }};
  ASSERT_TRUE(seedSelection(kW, kH, jagged));
  const std::vector<unsigned char> before = readSelection(kW, kH);
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 30);
  const auto path = arcPath(kCx, kCy, kR, 0.0, 2.0 * M_PI, 4.0);
  for (int pass = 0; pass < 4; ++pass)
    for (const auto& [x, y] : path) ASSERT_TRUE(VELDRA::Smoothen(x, y, x - 30, y - 30, 61, 61));
  const std::vector<unsigned char> after = readSelection(kW, kH);
  EXPECT_LT(boundaryLength(after), boundaryLength(before) * 0.8);
  // Smoothing neither grows nor shrinks the selection much: it ends close to the disc that the
  // zig-zag oscillates around.
  EXPECT_GT(agreement(after, kW, kH, disc(kCx, kCy, kR)).iou, 0.97);
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

TEST_F(Strokes, RegionalLinesPaintBandAndSmoothingKeepsThePartition) {
  const Shape object = square(kCx, kCy, 100.0);
  ASSERT_TRUE(seedSelection(kW, kH, object));
  VELDRA::enableRLS(10);
  VELDRA::setMattingBrushRadius(4.0f);
  // A line that starts off the band paints band along the whole segment (matting radius 4).
  VELDRA::MouseDown();
  ASSERT_TRUE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 240, 200, 360, 230));
  EXPECT_EQ(engine().operation, VELDRA_CORE::OP_BAND_PAINT);
  for (int x = 245; x <= 355; x += 10) {
    const int y = 200 + (x - 240) / 4;
    EXPECT_EQ(VELDRA::GetMattingMode(x, y), VELDRA::EDITMODE_BAND) << x << "," << y;
  }
  EXPECT_EQ(VELDRA::GetMattingMode(300, 280), VELDRA::EDITMODE_ADD);
  EXPECT_EQ(VELDRA::GetMattingMode(300, 100), VELDRA::EDITMODE_SUBTRACT);
  VELDRA::MouseUp();
  // Smoothing over the square's left edge with the partition on: the band stays where it was.
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 20);
  for (int y = 200; y <= 300; y += 5) ASSERT_TRUE(VELDRA::Smoothen(200, y, 180, y - 20, 41, 41));
  const std::vector<unsigned char> mask = readSelection(kW, kH);
  const double width = bandWidthAcrossLeftEdge(mask, 210, 290);
  EXPECT_GT(width, 2.0);
  EXPECT_LT(width, 10.0);
  EXPECT_EQ(mask[250 * kW + 260], 255);
  EXPECT_EQ(mask[250 * kW + 140], 0);
  // Without the partition the selection reads back with two levels again.
  VELDRA::disableRLS();
  EXPECT_EQ(VELDRA::GetMattingMode(200, 250), VELDRA::EDITMODE_BAND);  // within 10 pixels of the front
  EXPECT_EQ(VELDRA::GetMattingMode(300, 250), VELDRA::EDITMODE_ADD);
  expectTreeConsistent();
}

}  // namespace
