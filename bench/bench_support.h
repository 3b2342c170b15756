// What the benchmark programs share: the thread limit a benchmark's argument sets, an engine set up
// and seeded as a host does before a stroke, brush events timed as a host runs them, and the log of
// every event's times (percentiles as counters, and the raw times for pooling runs of several builds).
#pragma once
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <veldra/veldra.h>

#include "support/host.h"

namespace veldra_bench {

// Limits the task scheduler to state.range(argument) threads for the benchmark's scope.
inline tbb::global_control ThreadLimit(const benchmark::State& state, int argument = 0) {
  return tbb::global_control(tbb::global_control::max_allowed_parallelism,
                             static_cast<std::size_t>(state.range(argument)));
}

// A fresh engine for a width x height image with the default parameters, the selection seeded from
// the mask (width bytes per row) and the brush radius set.
inline void StartSeededEngine(int width, int height, const std::vector<unsigned char>& seed, int radius) {
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, width, height, false);
  veldra_test::defaultParameters();
  VELDRA::InitSelection(0, 0, width, height, const_cast<unsigned char*>(seed.data()), width);
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, radius);
}

// The value at fraction p of the sorted values (nearest rank).
inline double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[k];
}

// Every event's times of one benchmark run, reported as counters and, with VELDRA_BENCH_EVENTS naming
// a file, appended to it as lines "case radius event total snap step read" (milliseconds) so that
// runs of several builds can be pooled and compared.
class EventLog {
 public:
  void add(const veldra_test::EventTimes& t) { times_.push_back(t); }

  void report(benchmark::State& state, const char* name, int radius) const {
    using veldra_test::EventTimes;
    if (times_.empty()) return;
    const auto column = [&](auto pick) {
      std::vector<double> v;
      for (const EventTimes& t : times_) v.push_back(pick(t));
      return v;
    };
    const auto counters = [&](const std::string& prefix, const std::vector<double>& v) {
      state.counters[prefix + "median_ms"] = Percentile(v, 0.5);
      state.counters[prefix + "p99_ms"] = Percentile(v, 0.99);
      state.counters[prefix + "max_ms"] = *std::max_element(v.begin(), v.end());
    };
    counters("", column([](const EventTimes& t) { return t.total(); }));
    counters("snap_", column([](const EventTimes& t) { return t.snap; }));
    counters("step_", column([](const EventTimes& t) { return t.step; }));
    counters("read_", column([](const EventTimes& t) { return t.read; }));
    const char* path = std::getenv("VELDRA_BENCH_EVENTS");
    std::FILE* f = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (f == nullptr) return;
    for (std::size_t k = 0; k < times_.size(); ++k) {
      const EventTimes& t = times_[k];
      std::fprintf(f, "%s %d %zu %.4f %.4f %.4f %.4f\n", name, radius, k, t.total(), t.snap, t.step, t.read);
    }
    std::fclose(f);
  }

 private:
  std::vector<veldra_test::EventTimes> times_;
};

// Host events of one brush radius, each one iteration of a manually timed benchmark: every event's
// own time counts, and is logged. The edge snap arrays are sized for the largest brush box up front,
// as an editor does when the brush size is set.
class TimedEvents {
 public:
  TimedEvents(const veldra_test::RgbaImage& img, int radius) : img_(img), radius_(radius) { snap_.reserveFor(radius); }

  // One event: the edge snap data of the brush box, Step, GetSelection of the box.
  void run(benchmark::State& state, VELDRA::EDITMODE mode, int x, int y) {
    veldra_test::EventTimes t;
    ok_ = veldra_test::hostEvent(img_, mode, x, y, radius_, snap_, display_, &t) && ok_;
    benchmark::DoNotOptimize(display_.data());
    state.SetIterationTime(t.total() * 1e-3);
    log_.add(t);
  }

  // The counters and event log lines under the case's name; an error if any Step failed.
  void report(benchmark::State& state, const char* name) const {
    log_.report(state, name, radius_);
    if (!ok_) state.SkipWithError("Step returned false");
  }

 private:
  const veldra_test::RgbaImage& img_;
  int radius_;
  veldra_test::SnapField snap_;
  std::vector<unsigned char> display_;
  EventLog log_;
  bool ok_ = true;
};

}  // namespace veldra_bench
