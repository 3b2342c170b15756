// The boundary refresh (partial tiles first, then ghost rows, then ghost columns, each leaf copying
// from an already refreshed neighbour) against a reference that finds neighbours by point location
// and orders leaves by their distance from the image instead of walking tiles; on random trees
// refined around the image's far corner, also after splits and merges between refreshes (the refresh
// keeps what it found out about the tree from one call to the next).
#include <gtest/gtest.h>

#include <algorithm>

#include "support/tree.h"

namespace {

using namespace veldra_test;

// Leaf n takes from direction d: the neighbour's value, or the mean of its two children facing n.
template <typename T>
void referenceTake(const SLGrid2D& grid, std::vector<T>& ch, unsigned n, int d) {
  const unsigned m = neighbourByPoint(grid, n, d);
  if (m == NO_NODE) return;
  if (!grid.hasChildren(m)) {
    ch[n] = ch[m];
    return;
  }
  static constexpr unsigned kFacing[4][2] = {{1, 3}, {0, 2}, {2, 3}, {0, 1}};
  const T a = ch[grid.child0(m) + kFacing[d][0]], b = ch[grid.child0(m) + kFacing[d][1]];
  if constexpr (std::is_same_v<T, float>) ch[n] = (a + b) * 0.5f;
  else ch[n] = static_cast<T>((a + b) >> 1);
}

template <typename T>
void referenceRefresh(const SLGrid2D& grid, std::vector<T>& ch) {
  const int ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  // The leaves of rows or columns of tiles from `edge` on, taking from direction d, nearest to the image first.
  const auto run = [&](bool rows, int from, int to, int lo, int hi, int d, float edge) {
    std::vector<LeafGeom> leaves;
    for (int a = from; a < to; ++a)
      for (int b = lo; b < hi; ++b)
        for (const LeafGeom& l : rows ? leavesInTiles(grid, a, b, a + 1, b + 1) : leavesInTiles(grid, b, a, b + 1, a + 1))
          if ((d < 2 ? l.cx : l.cy) >= edge) leaves.push_back(l);
    std::stable_sort(leaves.begin(), leaves.end(), [d](const LeafGeom& a, const LeafGeom& b) {
      const float pa = d < 2 ? a.cx : a.cy, pb = d < 2 ? b.cx : b.cy;
      return d % 2 == 0 ? pa < pb : pa > pb;
    });
    for (const LeafGeom& l : leaves) referenceTake(grid, ch, l.node, d);
  };
  const float w = static_cast<float>(grid.imageWidth), h = static_cast<float>(grid.imageHeight);
  if (grid.imageHeight % 256 != 0) run(true, 0, ni, nj - 1, nj, 2, h);        // the last tile row, below the image
  if (grid.imageWidth % 256 != 0) run(false, -2, nj + 2, ni - 1, ni, 0, w);   // the last tile column, right of it
  run(true, 0, ni, -2, 0, 3, -1e9f);                                          // ghost rows above, from below
  run(true, 0, ni, nj, nj + 2, 2, -1e9f);                                     // ghost rows below, from above
  run(false, -2, nj + 2, -2, 0, 1, -1e9f);                                    // ghost columns left, from the right
  run(false, -2, nj + 2, ni, ni + 2, 0, -1e9f);                               // ghost columns right, from the left
}

TEST(RefreshBoundary, MatchesTheNearestFirstReferenceAsTheTreeChanges) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    // Partial tiles on both sides, or whole tiles only.
    const std::uint32_t w = seed % 3 ? 300 : 512, h = seed % 3 ? 200 : 256;
    auto grid = makeGrid(w, h);
    randomGradedRefine(*grid, seed, 60, 8);
    refineWhere(*grid, [&](float cx, float cy, float e) { return std::fabs(cx - w) < e && std::fabs(cy - h) < 2 * e; }, 6);
    std::mt19937 rng(seed);
    for (int round = 0; round < 4; ++round) {
      // Merges alone in odd rounds (the refresh does not need grading), splits and grading in even
      // ones, anywhere: the tiles the refresh writes and reads from included.
      std::vector<unsigned> nodes;
      grid->walk(Walk::AllNodes, [&](unsigned n) {
        if (round % 2 ? grid->hasChildren(n) && !grid->hasGrandchildren(n) : !grid->hasChildren(n) && grid->level(n) < 7) nodes.push_back(n);
      });
      for (int k = 0; k < 6 && round > 0; ++k) {
        const unsigned n = nodes[rng() % nodes.size()];
        if (round % 2 && grid->hasChildren(n)) grid->unlinkChildren(n);
        if (round % 2 == 0 && !grid->hasChildren(n)) splitLeaf(*grid, n);
      }
      if (round % 2 == 0) gradeTree(*grid);
      fillField(*grid, grid->levelSet, [&](float x, float y) { return x - 7.0f * static_cast<float>(round) + 1000.0f * y; });
      grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = static_cast<unsigned char>(rng() >> 24); });
      std::vector<float> phi(grid->levelSet.data(), grid->levelSet.data() + grid->nodes.capacity());
      std::vector<unsigned char> labels(grid->region.data(), grid->region.data() + grid->nodes.capacity());
      referenceRefresh(*grid, phi);
      referenceRefresh(*grid, labels);
      grid->RefreshBoundary(grid->levelSet.data());
      grid->RefreshBoundary(grid->region.data());
      for (const LeafGeom& l : allLeafGeoms(*grid))
        ASSERT_TRUE(sameBits(grid->levelSet[l.node], phi[l.node]) && grid->region[l.node] == labels[l.node])
            << "seed " << seed << " round " << round << " leaf at (" << l.cx << ", " << l.cy << ") edge " << l.edge;
    }
  }
  auto grid = makeGrid(300, 200);
  grid->RefreshBoundary(static_cast<float*>(nullptr));  // no channel: nothing to do
  grid->RefreshBoundary(static_cast<unsigned char*>(nullptr));
}

}  // namespace
