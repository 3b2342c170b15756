// The one parallel loop shape of the engine: rows [begin, end) of independent work, each unit writing
// only data of its own rows, finished before the call returns. Grain 1, automatic partitioning.
//
// Under ThreadSanitizer the rows run on plain std::threads instead: the shipped oneTBB library is not
// instrumented, so the sanitizer cannot see the joins that order the rows' writes before the
// caller's reads, and would report every loop. Plain threads keep the engine's own accesses checked.
#pragma once
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#if defined(__SANITIZE_THREAD__)
#define VELDRA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELDRA_THREAD_SANITIZER 1
#endif
#endif

#ifdef VELDRA_THREAD_SANITIZER
#include <atomic>
#include <thread>
#include <vector>
#endif

namespace VELDRA_COMMON {

// body is called with tbb::blocked_range<int> pieces covering [begin, end) once each.
template <typename Body>
void parallelRows(int begin, int end, const Body& body) {
  if (begin >= end) return;
#ifdef VELDRA_THREAD_SANITIZER
  std::atomic<int> next{begin};
  auto worker = [&] {
    for (int j = next.fetch_add(1); j < end; j = next.fetch_add(1)) body(tbb::blocked_range<int>(j, j + 1, 1));
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 3 && t < end - begin - 1; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
#else
  tbb::task_group_context context;
  tbb::parallel_for(tbb::blocked_range<int>(begin, end, 1), body, tbb::auto_partitioner(), context);
#endif
}

// The most units of a parallelRows loop that can run at once (the calling thread included).
inline int maxConcurrency() {
#ifdef VELDRA_THREAD_SANITIZER
  return 4;
#else
  return tbb::this_task_arena::max_concurrency();
#endif
}

// The root tiles [i0, i1) x [j0, j1) as independent units, body(i, j) once per tile. Tiles rather than
// rows balance better: the work of a tile follows the length of boundary inside it, and a brush's box
// often holds only two or three rows.
template <typename Body>
void parallelTiles(int i0, int j0, int i1, int j1, const Body& body) {
  if (i0 >= i1 || j0 >= j1) return;
  const int width = i1 - i0;
  parallelRows(0, width * (j1 - j0), [&](const tbb::blocked_range<int>& tiles) {
    for (int t = tiles.begin(); t != tiles.end(); ++t) body(i0 + t % width, j0 + t / width);
  });
}

// The four quadrants of each root tile of [i0, i1) x [j0, j1) as independent units, body(i, j, q) once
// per tile and quadrant q = 0 .. 3. For loops whose work gathers in a few tiles along the boundary,
// quarters of tiles share it out between the threads more evenly than whole tiles.
template <typename Body>
void parallelTileQuadrants(int i0, int j0, int i1, int j1, const Body& body) {
  if (i0 >= i1 || j0 >= j1) return;
  const int width = i1 - i0;
  parallelRows(0, 4 * width * (j1 - j0), [&](const tbb::blocked_range<int>& units) {
    for (int u = units.begin(); u != units.end(); ++u) {
      const int t = u >> 2;
      body(i0 + t % width, j0 + t / width, u & 3);
    }
  });
}

// Runs `task` on another thread while `body` runs on the calling one, and returns when both are done.
// The two must not write data the other reads. If the pool has no thread to spare, the task runs
// after the body, on the calling thread.
template <typename Task, typename Body>
void runAlongside(const Task& task, const Body& body) {
#ifdef VELDRA_THREAD_SANITIZER
  std::thread other(task);
  body();
  other.join();
#else
  tbb::task_group group;
  group.run(task);
  try {
    body();
  } catch (...) {
    group.wait();
    throw;
  }
  group.wait();
#endif
}

}  // namespace VELDRA_COMMON
