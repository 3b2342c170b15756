// Shares one redistancing sweep over a box of root tiles between threads with the result of the
// sweep's own order.
//
// A sweep reads values written earlier in the same sweep, but only across a leaf's two upwind edges.
// Cut the box into cells (whole tiles, or tile quadrants) counted in the sweep plan's steps: the
// leaves of the cell at outer step a and inner step b have their upwind neighbours in the cell itself
// or in cells (a - 1, b) and (a, b - 1). Once those two cells are swept, the cell's leaves read
// exactly the values they read in the plan's order, so the cell may be swept then, on any thread.
// A tile whose root is a leaf is a single leaf next to all four of its quadrant cells: it is swept at
// its first cell, which also waits for the cells at (a - 1, b + 1) and (a + 1, b - 1), the other two
// cells along its upwind edges; its other cells sweep nothing, and every cell downwind of the tile
// waits for the first cell through them.
//
// Threads claim cells in one fixed order that comes after every wait: anti-diagonals a + b in turn,
// within one the first cells of root-leaf tiles last (the two extra cells they wait for lie on the
// same anti-diagonal and are never first cells). A thread only ever waits for cells claimed before
// its own, so the earliest unfinished cell can always go on: no deadlock, and a thread alone sweeps
// every cell in that order without waiting.
//
// How much threads can share is bounded by the longest chain of waits: the cells along it are swept
// one after the other whatever the number of threads. Where that chain holds most of the leaves, as
// when the front runs with the sweep's direction, a second thread mostly waits, and its waiting (and
// the handing over) costs the working thread more than the little it takes off; such sweeps run on
// one thread (worthwhileThreads). The result is the same bits either way.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "common/parallel_rows.h"

namespace VELDRA_TRW::redistancing {

class SweepSchedule {
 public:
  // One cell of the schedule.
  struct Cell {
    int i, j;            // its tile
    int id;              // index of its flag
    int waitFor[4];      // flags of the cells swept before it, -1 for none
    int quadrant;        // -1 for a whole tile
    bool sweeps;         // false for the empty cells of a root-leaf tile
    bool rootLeafFirst;  // the cell a root-leaf tile is swept at
  };

  // Lays out the cells of [i0, i1) x [j0, j1) for a sweep plan (its tile loop directions); cellsPerTile
  // is 1 (whole tiles) or 2 (quadrants). rootIsLeaf(i, j) tells whether tile (i, j) is a single leaf.
  template <typename Plan, typename RootIsLeaf>
  void layOut(const Plan& plan, int i0, int j0, int i1, int j1, int cellsPerTile, RootIsLeaf&& rootIsLeaf) {
    const int outerLo = plan.byColumns ? i0 : j0, innerLo = plan.byColumns ? j0 : i0;
    const int outerTiles = (plan.byColumns ? i1 : j1) - outerLo, innerTiles = (plan.byColumns ? j1 : i1) - innerLo;
    const int outerCells = cellsPerTile * outerTiles, innerCells = cellsPerTile * innerTiles;
    const int count = outerCells * innerCells;
    cells_.clear();
    widest_ = std::min(outerCells, innerCells);
    if (count <= 0) return;
    growFlags(static_cast<std::size_t>(count));
    const auto id = [&](int a, int b) { return b * outerCells + a; };
    const auto cellAt = [&](int a, int b) {
      const int ta = a / cellsPerTile, tb = b / cellsPerTile;
      const int outer = plan.outerDescending ? outerLo + outerTiles - 1 - ta : outerLo + ta;
      const int inner = plan.innerDescending ? innerLo + innerTiles - 1 - tb : innerLo + tb;
      Cell c{};
      c.i = plan.byColumns ? outer : inner;
      c.j = plan.byColumns ? inner : outer;
      c.id = id(a, b);
      c.waitFor[0] = a > 0 ? id(a - 1, b) : -1;
      c.waitFor[1] = b > 0 ? id(a, b - 1) : -1;
      c.waitFor[2] = c.waitFor[3] = -1;
      c.quadrant = -1;
      c.sweeps = true;
      c.rootLeafFirst = false;
      if (cellsPerTile == 2) {
        const int outerBit = (a & 1) ^ static_cast<int>(plan.outerDescending);
        const int innerBit = (b & 1) ^ static_cast<int>(plan.innerDescending);
        const int x = plan.byColumns ? outerBit : innerBit, y = plan.byColumns ? innerBit : outerBit;
        c.quadrant = x + 2 * y;
        if (rootIsLeaf(c.i, c.j)) {
          c.rootLeafFirst = (a & 1) == 0 && (b & 1) == 0;
          c.sweeps = c.rootLeafFirst;
          c.quadrant = 0;  // the root leaf is listed with quadrant 0
          if (c.rootLeafFirst) {
            c.waitFor[2] = a > 0 && b + 1 < innerCells ? id(a - 1, b + 1) : -1;
            c.waitFor[3] = b > 0 && a + 1 < outerCells ? id(a + 1, b - 1) : -1;
          }
        }
      }
      return c;
    };
    // Anti-diagonal by anti-diagonal; within one, the first cells of root-leaf tiles last.
    for (int d = 0; d < outerCells + innerCells - 1; ++d) {
      const int aFirst = d < innerCells ? 0 : d - innerCells + 1, aLast = std::min(d, outerCells - 1);
      for (int pass = 0; pass < 2; ++pass)
        for (int a = aFirst; a <= aLast; ++a) {
          const Cell c = cellAt(a, d - a);
          if (c.rootLeafFirst == (pass == 1)) cells_.push_back(c);
        }
    }
  }

  // Calls sweepCell(i, j, quadrant) once for every cell that sweeps leaves (quadrant -1: the whole
  // tile), each after the cells it waits for, on up to `threads` threads.
  template <typename SweepCell>
  void run(int threads, const SweepCell& sweepCell) {
    if (++epoch_ == 0) {  // the flags' epoch wrapped: clear them once
      for (std::size_t k = 0; k < flagCount_; ++k) done_[k].store(0, std::memory_order_relaxed);
      epoch_ = 1;
    }
    const int count = static_cast<int>(cells_.size());
    std::atomic<int> next{0};
    const auto claimLoop = [&] {
      for (int k = next.fetch_add(1, std::memory_order_relaxed); k < count; k = next.fetch_add(1, std::memory_order_relaxed)) {
        const Cell& c = cells_[static_cast<std::size_t>(k)];
        for (int w : c.waitFor)
          if (w >= 0) waitUntilDone(w);
        if (c.sweeps) sweepCell(c.i, c.j, c.quadrant);
        done_[c.id].store(epoch_, std::memory_order_release);
      }
    };
    // No more threads than cells on the widest anti-diagonal: more could only wait.
    threads = std::min(threads, widest_);
    if (threads <= 1) {
      claimLoop();
      return;
    }
    VELDRA_COMMON::parallelRows(0, threads, [&](const tbb::blocked_range<int>&) { claimLoop(); });
  }

  // `threads`, or 1 where sharing cannot pay: the longest chain of waits, weighing each sweeping cell by
  // weight(i, j, quadrant) (its leaves), holds more than 3/5 of the whole weight, so that no number of
  // threads could gain more than 5/3. On the 2-core machine the brush sessions are measured on, the
  // line edit's boxes, whose chains hold about three quarters of the leaves, swept faster on one
  // thread, and the boxes of large brushes, around half, on two.
  template <typename Weight>
  int worthwhileThreads(int threads, const Weight& weight) {
    if (threads <= 1 || cells_.empty()) return threads;
    if (chainWeight_.size() < flagCount_) chainWeight_.resize(flagCount_);
    // Claim order is a topological order of the waits: every cell waits only for cells before it.
    std::uint64_t total = 0, longest = 0;
    for (const Cell& c : cells_) {
      std::uint64_t before = 0;
      for (int w : c.waitFor)
        if (w >= 0) before = std::max(before, chainWeight_[static_cast<std::size_t>(w)]);
      const std::uint64_t own = c.sweeps ? static_cast<std::uint64_t>(weight(c.i, c.j, c.quadrant)) : 0;
      chainWeight_[static_cast<std::size_t>(c.id)] = before + own;
      total += own;
      longest = std::max(longest, before + own);
    }
    return 5 * longest > 3 * total ? 1 : threads;
  }

  // The cells in claim order.
  const std::vector<Cell>& cells() const { return cells_; }

 private:
  void growFlags(std::size_t count) {
    if (count <= flagCount_) return;
    done_ = std::make_unique<std::atomic<std::uint32_t>[]>(count);
    for (std::size_t k = 0; k < count; ++k) done_[k].store(0, std::memory_order_relaxed);
    flagCount_ = count;
    epoch_ = 0;
  }

  // The cell is claimed, so its thread is sweeping it or waiting for earlier cells, which finish.
  void waitUntilDone(int cell) const {
    int spins = 0;
    while (done_[cell].load(std::memory_order_acquire) != epoch_) {
      if (++spins < 4096) {
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#endif
      } else {
        std::this_thread::yield();
      }
    }
  }

  std::vector<Cell> cells_;
  std::vector<std::uint64_t> chainWeight_;  // worthwhileThreads' longest chain ending at each cell, by flag
  std::unique_ptr<std::atomic<std::uint32_t>[]> done_;
  std::size_t flagCount_ = 0;
  std::uint32_t epoch_ = 0;
  int widest_ = 0;  // cells on the widest anti-diagonal
};

}  // namespace VELDRA_TRW::redistancing
