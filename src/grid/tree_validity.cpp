// Validity predicates of a grid (see tree_validity.h).
#include "grid/tree_validity.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace VELDRA_TRW {

std::string TreeProblem(SLGrid2D& grid, bool checkNodeAccounting) {
  if (!grid.hasBlock()) return {};
  if (!grid.checkGrading()) return "tree is not graded";
  const unsigned capacity = grid.nodes.capacity();
  std::vector<float> visits(capacity, -1.0f);
  grid.countLeafVisits(visits.data());
  std::string problem;
  const auto fail = [&](const std::string& what, unsigned n) {
    if (problem.empty()) problem = what + " at node " + std::to_string(n);
  };
  grid.walk(Walk::InteriorLeaves, [&](unsigned n) {
    if (visits[n] != 1.0f) fail("interior leaf visited " + std::to_string(visits[n]) + " times", n);
    if (!std::isfinite(grid.levelSet[n])) fail("level set value not finite", n);
    if (grid.useRegional != 0 && !std::isfinite(grid.regional[n])) fail("regional value not finite", n);
  });
  std::uint64_t reachable = 0;
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    ++reachable;
    if (grid.flags(n).has(TreeFlags::ROOT) != (grid.parent(n) == NO_NODE)) fail("ROOT bit not on root tiles only", n);
    const unsigned c = grid.child0(n);
    if (c == NO_NODE) return;
    if (c % 4 != 0 || c >= capacity) return fail("child link out of range", n);
    if (!grid.nodes.isUsedGroup(c)) fail("child group is on the free list", n);
    for (unsigned k = 0; k < 4; ++k) {
      if (grid.parent(c + k) != n) fail("child does not point back to its parent", c + k);
      if (grid.level(c + k) != grid.level(n) + 1 || grid.level(c + k) > grid.maxLevel)
        fail("child level is not parent level + 1 within the finest level", c + k);
    }
  });
  if (!problem.empty() || !checkNodeAccounting) return problem;
  // Root tiles come from one run rounded up to whole groups; every other used node is a linked child.
  const std::uint64_t roots = static_cast<std::uint64_t>(grid.si) * grid.sj;
  const std::uint64_t used = capacity - grid.nodes.freeCount;
  const std::uint64_t expected = (roots + 3) / 4 * 4 + (reachable - roots);
  if (used != expected)
    return "node groups lost: " + std::to_string(used) + " used, " + std::to_string(expected) + " in the tree";
  return {};
}

float DistanceDefect(const SLGrid2D& grid, float band, float tolerance) {
  if (!grid.hasBlock()) return 0.0f;
  const float w = static_cast<float>(grid.imageWidth), h = static_cast<float>(grid.imageHeight);
  std::uint64_t counted = 0, off = 0;
  for (int j = 0; j < static_cast<int>(grid.nj); ++j)
    for (int i = 0; i < static_cast<int>(grid.ni); ++i)
      grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float edge, const unsigned around[4]) {
        // Pixel leaves whose neighbours are pixels of the image: the differences span two pixels.
        if (edge != 1.0f || cx < 1.0f || cy < 1.0f || cx > w - 1.0f || cy > h - 1.0f) return;
        if (std::fabs(grid.levelSet[n]) > band) return;
        for (int d = 0; d < 4; ++d)
          if (around[d] == NO_NODE || grid.hasChildren(around[d]) || grid.level(around[d]) != grid.level(n)) return;
        const float gx = 0.5f * (grid.levelSet[around[DIR_PLUS_X]] - grid.levelSet[around[DIR_MINUS_X]]);
        const float gy = 0.5f * (grid.levelSet[around[DIR_PLUS_Y]] - grid.levelSet[around[DIR_MINUS_Y]]);
        ++counted;
        if (std::fabs(std::hypot(gx, gy) - 1.0f) > tolerance) ++off;
      });
  return counted == 0 ? 0.0f : static_cast<float>(static_cast<double>(off) / static_cast<double>(counted));
}

}  // namespace VELDRA_TRW
