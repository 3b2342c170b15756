// Throughput of the edge snap pipeline against the plain reference, in output megapixels per second.

#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <cstdint>
#include <random>
#include <vector>

#include "edgesnap/edge_snap.h"
#include "support/edge_snap_reference.h"

namespace {

using namespace VELDRA_EDGESNAP;

// A colour block shaped like a photograph: smooth ramps, a few hard-edged shapes, sensor noise.
struct Block {
  int w, h, stride;
  std::vector<unsigned char> bytes;
  std::vector<float> snapX, snapY;

  explicit Block(int size) : w(size), h(size), stride(size + 24) {
    bytes.resize(std::size_t(stride) * (h + 24) * 4);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noise(-6, 6);
    const int cols = w + 24, rows = h + 24;
    for (int row = 0; row < rows; ++row)
      for (int col = 0; col < cols; ++col) {
        int r = 40 + 160 * col / cols, g = 50 + 140 * row / rows, b = 110;
        if ((col / 37 + row / 53) % 5 == 0) r = 220, g = 60, b = 40;
        const int dx = col - cols / 2, dy = row - rows / 2;
        if (dx * dx + dy * dy < cols * rows / 10) b = 230;
        unsigned char* p = &bytes[(std::size_t(row) * stride + col) * 4];
        auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
        p[0] = clamp(r + noise(random));
        p[1] = clamp(g + noise(random));
        p[2] = clamp(b + noise(random));
        p[3] = 255;
      }
    snapX.resize(std::size_t(w) * h);
    snapY.resize(std::size_t(w) * h);
  }
};

void SetRate(benchmark::State& state, const Block& block) {
  state.counters["MP/s"] = benchmark::Counter(double(state.iterations()) * block.w * block.h * 1e-6,
                                              benchmark::Counter::kIsRate);
}

void BM_EdgeSnapLibrary(benchmark::State& state) {
  Block block(int(state.range(0)));
  auto compute = [&block] {
    ComputeEdgeSnapData(block.w, block.h, block.bytes.data(), block.stride, block.snapX.data(), block.w,
                        block.snapY.data(), block.w);
  };
  compute();  // the work rows reach their size (and their pages are touched) outside the timing
  for (auto _ : state) {
    compute();
    benchmark::ClobberMemory();
  }
  SetRate(state, block);
}

void BM_EdgeSnapLibraryOneThread(benchmark::State& state) {
  tbb::global_control oneThread(tbb::global_control::max_allowed_parallelism, 1);
  BM_EdgeSnapLibrary(state);
}

void BM_EdgeSnapReference(benchmark::State& state) {
  Block block(int(state.range(0)));
  edge_snap_reference::EdgeSnapReference reference;
  auto compute = [&] {
    reference.Compute(block.w, block.h, block.bytes.data(), block.stride, block.snapX.data(), block.w,
                      block.snapY.data(), block.w);
  };
  compute();
  for (auto _ : state) {
    compute();
    benchmark::ClobberMemory();
  }
  SetRate(state, block);
}

BENCHMARK(BM_EdgeSnapLibrary)->Arg(64)->Arg(256)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EdgeSnapReference)->Arg(64)->Arg(256)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EdgeSnapLibraryOneThread)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
