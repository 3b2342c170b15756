// Brush events as a host runs them on a 4000 x 3000 image: per event, the edge snap data of the brush
// box (with its 12-pixel margin), one Step, and GetSelection of the brush box. Two selections:
//  - BM_NaturalSelection: seeded from thresholded noise (about half the image, the boundary in many
//    pieces, most running into the image's edges), an add stroke and then a subtract stroke of 200
//    events each along the longest boundary piece, R/4 pixels apart; re-seeded for every radius.
//  - BM_BrushEvent: one wobbly blob in the middle of the image, a 200-event add stroke a little inside
//    its boundary.
// Reported per brush radius: median, 99th percentile and maximum of the whole event and of each of its
// three calls, over every event of the run. The host sizes its edge snap arrays for the largest brush
// box once per radius, before the strokes, as an editor does when the brush size is set.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bench_support.h"
#include "support/natural_selection.h"

namespace {

using namespace veldra_test;

constexpr int kWidth = kNaturalWidth, kHeight = kNaturalHeight;
constexpr int kEvents = 200;  // per stroke

// ---- natural selection ----

void BM_NaturalSelection(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const NaturalScene& scene = naturalScene(kWidth, kHeight);
  static const RgbaImage img = scene.render();
  static const std::vector<unsigned char> seed = scene.seedMask();
  veldra_bench::StartSeededEngine(kWidth, kHeight, seed, radius);
  const auto path = scene.brushPath(radius / 4.0, kEvents);
  veldra_bench::TimedEvents events(img, radius);
  int k = 0;
  for (auto _ : state) {
    // The add stroke, then the subtract stroke along the same path.
    const bool add = k < kEvents;
    if (k == 0 || k == kEvents) VELDRA::MouseDown();
    const auto [x, y] = path[static_cast<std::size_t>(k % kEvents)];
    events.run(state, add ? VELDRA::EDITMODE_ADD : VELDRA::EDITMODE_SUBTRACT, x, y);
    if (++k == kEvents || k == 2 * kEvents) VELDRA::MouseUp();
  }
  events.report(state, "natural");
}

BENCHMARK(BM_NaturalSelection)
    ->Arg(10)
    ->Arg(50)
    ->Arg(200)
    ->Arg(1000)
    ->Iterations(2 * kEvents)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- one blob in the middle ----

constexpr double kCx = 2000.0, kCy = 1500.0;

// Radius of the object's outline at angle a: a wobbly blob with a few harmonics.
double outline(double a) {
  return 1150.0 + 90.0 * std::sin(3.0 * a) + 45.0 * std::sin(7.0 * a + 1.0) + 12.0 * std::sin(19.0 * a + 2.0);
}

// Approximate signed distance (radial), enough for rendering and seeding.
double blobDistance(double x, double y) { return std::hypot(x - kCx, y - kCy) - outline(std::atan2(y - kCy, x - kCx)); }

const RgbaImage& blobImage() {
  static const RgbaImage img = render(kWidth, kHeight, Shape{blobDistance}, {190, 110, 70}, {70, 120, 150}, 20.0);
  return img;
}

const std::vector<unsigned char>& blobSeedMask() {
  static const std::vector<unsigned char> mask = [] {
    std::vector<unsigned char> m(static_cast<std::size_t>(kWidth) * kHeight);
    // Seeded 4 pixels inside the object's edge, as after a rough first selection.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        m[static_cast<std::size_t>(y) * kWidth + x] = blobDistance(x + 0.5, y + 0.5) < -4.0 ? 255 : 0;
    return m;
  }();
  return mask;
}

// Event positions: along the outline, radius / 3 inside it, spaced by a tenth of the radius.
std::vector<std::pair<int, int>> blobPath(int radius) {
  std::vector<std::pair<int, int>> path;
  const double spacing = std::max(2.0, radius / 10.0);
  double a = 0.0;
  for (int k = 0; k < kEvents; ++k) {
    const double r = outline(a) - radius / 3.0;
    path.emplace_back(static_cast<int>(std::lround(kCx + r * std::cos(a))),
                      static_cast<int>(std::lround(kCy + r * std::sin(a))));
    a += spacing / r;
  }
  return path;
}

void BM_BrushEvent(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const RgbaImage& img = blobImage();
  veldra_bench::StartSeededEngine(kWidth, kHeight, blobSeedMask(), radius);
  const auto path = blobPath(radius);
  veldra_bench::TimedEvents events(img, radius);
  std::size_t k = 0;
  VELDRA::MouseDown();
  for (auto _ : state) {
    const auto [x, y] = path[k++ % path.size()];
    events.run(state, VELDRA::EDITMODE_ADD, x, y);
  }
  VELDRA::MouseUp();
  events.report(state, "blob");
}

// The host's own work is part of the event as a host would run it: a box whose margin reaches beyond
// the image is copied with the edge pixels repeated; any other is handed over in place.
BENCHMARK(BM_BrushEvent)
    ->Arg(10)
    ->Arg(50)
    ->Arg(200)
    ->Arg(1000)
    ->Iterations(kEvents)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
