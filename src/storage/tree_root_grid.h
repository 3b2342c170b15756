// The sixteen-word description of one tree's root-tile grid. Each tree writes its record into a slot
// of its node allocator's record table, and every node carries that slot in its flags, so code holding
// only a node index can find the grid (for example to step from one root tile to the next).
#pragma once
#include <cstdint>

namespace VELDRA_TRW {

struct TreeRootGrid {
  std::uint32_t ni, nj, nk;       // interior tiles per axis
  std::uint32_t gi, gj, gk;       // ghost widths
  std::uint32_t strideJ, strideK; // node-index strides between tile rows / layers
  std::uint32_t si, sj, sk;       // root block extents, ghosts included
  std::uint32_t rootCount;        // si * sj * sk
  std::uint32_t rootCount4;       // rootCount rounded up to whole groups
  std::uint32_t rootBase;         // node index of tile (0, 0)
  std::uint32_t firstNode;        // first node of the root block
  std::uint32_t maxLevel;         // deepest allowed level
};
static_assert(sizeof(TreeRootGrid) == 64);

}  // namespace VELDRA_TRW
