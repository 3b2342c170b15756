// Whole-tree invariants that every exported call must leave behind, whatever the host passed: the
// tree is graded, every interior leaf is visited exactly once, child links point back to their parent
// one level down, the ROOT bit marks exactly the root tiles (neighbour lookups rely on it), field
// values on interior leaves are finite, and (after a call that did not run out of memory) every
// allocated node group is linked into the tree.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "grid/sl_grid.h"

namespace veldra_fuzz {

// Empty when the tree is consistent, otherwise a description of the first problem found.
inline std::string treeProblem(VELDRA_TRW::SLGrid2D& grid, bool checkNodeAccounting) {
  using namespace VELDRA_TRW;
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
    if (grid.flags(n).has(TreeFlags::ROOT) != (grid.parent(n) == NO_NODE))
      fail("ROOT bit not on root tiles only", n);
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

}  // namespace veldra_fuzz
