// Brush events as a host runs them on a 4000 x 3000 image whose selection was seeded from a
// natural-looking object: per event, the edge snap data of the brush box (with its 12-pixel margin),
// one Step in add mode, and GetSelection of the brush box. A stroke of 200 events runs along the
// object's boundary, a little inside it. Reported per brush radius: the median and 99th percentile of
// the whole event, and the median of Step alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/synthetic_images.h"

namespace {

using namespace veldra_test;

constexpr int kWidth = 4000, kHeight = 3000;
constexpr double kCx = 2000.0, kCy = 1500.0;
constexpr int kEvents = 200;

// Radius of the object's outline at angle a: a wobbly blob with a few harmonics.
double outline(double a) {
  return 1150.0 + 90.0 * std::sin(3.0 * a) + 45.0 * std::sin(7.0 * a + 1.0) + 12.0 * std::sin(19.0 * a + 2.0);
}

// Approximate signed distance (radial), enough for rendering and seeding.
double blobDistance(double x, double y) { return std::hypot(x - kCx, y - kCy) - outline(std::atan2(y - kCy, x - kCx)); }

const RgbaImage& image() {
  static const RgbaImage img = render(kWidth, kHeight, Shape{blobDistance}, {190, 110, 70}, {70, 120, 150}, 20.0);
  return img;
}

const std::vector<unsigned char>& seedMask() {
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
std::vector<std::pair<int, int>> strokePath(int radius) {
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

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[k];
}

// With VELDRA_BENCH_EVENTS naming a file, every event's times are appended to it as lines
// "radius event total_ms step_ms": taking each event's fastest of several runs compares builds on a
// machine whose speed drifts between runs.
void writeEventTimes(int radius, const std::vector<double>& total, const std::vector<double>& step) {
  const char* path = std::getenv("VELDRA_BENCH_EVENTS");
  if (path == nullptr) return;
  std::FILE* f = std::fopen(path, "a");
  if (f == nullptr) return;
  for (std::size_t k = 0; k < total.size(); ++k) std::fprintf(f, "%d %zu %.4f %.4f\n", radius, k, total[k], step[k]);
  std::fclose(f);
}

void BM_BrushEvent(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const RgbaImage& img = image();
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kWidth, kHeight, false);
  defaultParameters();
  VELDRA::InitSelection(0, 0, kWidth, kHeight, const_cast<unsigned char*>(seedMask().data()), kWidth);
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, radius);
  const auto path = strokePath(radius);
  SnapField snap;
  std::vector<unsigned char> mask;
  std::vector<double> total, step;
  std::size_t k = 0;
  bool ok = true;
  VELDRA::MouseDown();
  for (auto _ : state) {
    const auto [x, y] = path[k++ % path.size()];
    const Box box = brushBox(x, y, radius, kWidth, kHeight);
    mask.resize(static_cast<std::size_t>(box.w) * box.h);
    const auto t0 = std::chrono::steady_clock::now();
    computeSnap(img, box, snap);
    const auto t1 = std::chrono::steady_clock::now();
    ok = VELDRA::Step(VELDRA::EDITMODE_ADD, 0, x, y, box.x, box.y, box.w, box.h, snap.x.data(), box.w,
                      snap.y.data(), box.w) && ok;
    const auto t2 = std::chrono::steady_clock::now();
    VELDRA::GetSelection(box.x, box.y, box.w, box.h, mask.data(), box.w, static_cast<float>(x),
                         static_cast<float>(y), 0);
    const auto t3 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(mask.data());
    const double seconds = std::chrono::duration<double>(t3 - t0).count();
    state.SetIterationTime(seconds);
    total.push_back(seconds * 1e3);
    step.push_back(std::chrono::duration<double>(t2 - t1).count() * 1e3);
  }
  VELDRA::MouseUp();
  writeEventTimes(radius, total, step);
  if (!ok) state.SkipWithError("Step returned false");
  state.counters["median_ms"] = percentile(total, 0.5);
  state.counters["p99_ms"] = percentile(total, 0.99);
  state.counters["step_median_ms"] = percentile(step, 0.5);
  state.counters["step_p99_ms"] = percentile(step, 0.99);
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
