// The boundary refresh written down once as lists of copies: for every tile the refresh writes (the
// parts of the last tile row and column beyond the image, the ghost rows, the ghost columns), in the
// refresh's own order, which leaf takes the value of which node or the mean of which two. A tile's list
// depends only on the topology of that tile and of the tile it takes from, so it is rebuilt only when
// one of the two has changed since the list was made (the tree's topology clock says when).
#pragma once
#include <cstdint>
#include <vector>

#include "storage/tree_flags.h"

namespace VELDRA_TRW {

// channel[leaf] = channel[first], or the mean of channel[first] and channel[second] when second is a
// node (the two children of a subdivided neighbour that touch the leaf).
struct BoundaryCopy {
  unsigned leaf, first, second;
};

struct BoundaryTileCopies {
  enum class Keep : std::uint8_t { Every, BelowImage, RightOfImage };
  int i = 0, j = 0;             // the tile written
  int fromI = 0, fromJ = 0;     // the tile next to it in direction d
  Direction d = DIR_MINUS_X;    // every kept leaf takes from this side
  Keep keep = Keep::Every;      // which leaves of the tile take (by their centre)
  bool built = false;
  std::uint64_t builtAt = 0;    // topology clock when the copies were listed
  std::vector<BoundaryCopy> copies;
};

// What the last refresh of one channel left: from then on its ghost lists hold copies of their
// sources, and stay so until their tile or the tile they take from is written or changes topology.
struct BoundaryChannelRefresh {
  const void* channel = nullptr;  // none yet
  std::uint64_t refreshedAt = 0;  // topology clock at that refresh
};

struct BoundaryRefreshPlan {
  // The block and image the tile list was made for.
  std::uint32_t firstNode = NO_NODE, ni = 0, nj = 0, imageWidth = 0, imageHeight = 0;
  std::vector<BoundaryTileCopies> tiles;
  // The refreshed channels (the level set, the regional distance and the region labels).
  BoundaryChannelRefresh refreshed[3];
  // Per tile of the block: the refresh (counted by `refreshCount`) that last changed a value of the
  // tile while replaying its list.
  std::vector<std::uint64_t> changedInRefresh;
  std::uint64_t refreshCount = 0;
};

}  // namespace VELDRA_TRW
