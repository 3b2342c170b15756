// A copy of the whole selection state of a grid, taken to be put back later (undo).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "grid/sl_grid.h"

namespace VELDRA_EXTRAS_CORE {

// Everything that a later edit, read-out or field dump depends on: the entries below the node
// allocator's usedEnd of every per-node pool (topology, flags, the six channels), the allocator's
// free-list links there and its list ends, the grid's regional flag, its per-tile refinement notes
// and the per-tile topology stamps and ghost-tile states that let refinement passes over quiet ghost
// tiles. Groups from usedEnd up are the untouched, ascending end of the free list in any state, so
// they need no copy: taking a snapshot costs time and memory in proportion to the used part of the
// pools, not to their capacity.
class SelectionSnapshot {
 public:
  // Throws std::bad_alloc when the copy does not fit in memory.
  explicit SelectionSnapshot(const VELDRA_TRW::SLGrid2D& grid);

  // Whether the snapshot can be put back into `grid`: the same image size, root block and pools.
  // (Refinement notes of another length only mean that the grid had no refinement pass yet.)
  bool fits(const VELDRA_TRW::SLGrid2D& grid) const;

  // Puts the state back into a grid that fits: afterwards the grid is bit for bit as it was when the
  // snapshot was taken, except that its pools may have more (untouched) capacity. Throws the storage's
  // integer code, or std::bad_alloc, when memory runs out; the grid keeps its state then.
  void restoreInto(VELDRA_TRW::SLGrid2D& grid) const;

  // Bytes of memory the snapshot holds.
  std::size_t bytes() const;

 private:
  struct Shape {
    std::uint32_t imageWidth, imageHeight, ni, nj, firstNode, rootBase, gridIndex;
    std::int32_t pools;
    bool operator==(const Shape&) const = default;
  };
  static Shape shapeOf(const VELDRA_TRW::SLGrid2D& grid);

  Shape shape_;
  std::uint32_t usedEnd_;
  std::uint32_t freeHead_;
  std::uint32_t belowFree_;    // free node slots below usedEnd
  std::uint32_t belowLast_;    // last free group below usedEnd in list order, NO_NODE when none
  std::uint8_t useRegional_;
  std::vector<std::uint8_t> tilesMarked_;
  // Topology clock and per-tile stamps, and the refinement's ghost-tile states read against them.
  std::uint64_t topologyClock_;
  std::vector<std::uint64_t> tileTopologyChanged_;
  std::vector<std::uint64_t> ghostQuietAt_;
  std::vector<std::uint8_t> ghostState_;
  std::unique_ptr<unsigned char[]> data_;  // pool entries, then free-list links
  std::size_t dataBytes_;
};

}  // namespace VELDRA_EXTRAS_CORE
