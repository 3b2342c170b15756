// What refinement keeps from one pass to the next and the scratch lists of a pass: which root tiles
// may carry marks, which ghost tiles are quiet, and the per-tile lists of the parallel steps. The grid
// holds one (SLGrid2D::refineWork); only refinement uses it, and a selection snapshot keeps the notes
// and the ghost tiles' state together with the tree they describe.
#pragma once
#include <cstdint>
#include <vector>

namespace VELDRA_TRW {

struct RefinementWorkspace {
  // One byte per root tile of the block (ghosts included): tiles where marks may have been set since
  // the last whole-tree clear. Passes clear, collect and refresh only there.
  std::vector<std::uint8_t> tilesMarked;
  // Ghost tiles whose part of a pass is known to repeat: per root tile of the block, the topology
  // clock when the tile was last found quiet (0: not quiet), and the tile's state bits.
  std::vector<std::uint64_t> ghostQuietAt;
  std::vector<std::uint8_t> ghostState;
  // Scratch of a pass's parallel steps: the noted tiles in walk order, and one node list per root tile
  // of the block, concatenated in tile order afterwards so that lists keep the walks' order.
  std::vector<unsigned> notedRoots;
  std::vector<std::vector<unsigned>> tileLists;
  // Scratch of a pass's marking: the leaves wanting a split, one list per quarter of a box tile.
  std::vector<std::vector<unsigned>> wantedLists;
};

}  // namespace VELDRA_TRW
