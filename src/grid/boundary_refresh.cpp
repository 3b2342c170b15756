// Copies a channel across the image edge: into the leaves of the last tile row and column whose
// centres lie outside the image, then into the ghost rows, then into the ghost columns (corners
// therefore copy from the refreshed ghost rows). Inside each tile the children nearer the image are
// walked first, so every leaf copies from a neighbour that has already been refreshed.
//
// The walks and neighbour lookups are done once per tile and kept as a list of copies (see
// boundary_refresh_plan.h); a refresh replays the lists in the same tile order. Replaying a list
// performs exactly the copies of the walk it was listed from, in the same order, as long as the
// topology that decided them (the tile's leaves, their neighbours across direction d, and whether
// those have children) is unchanged, which the topology clock of the two tiles guarantees.
//
// A brush event writes a few tiles, and most refreshes after it would copy into the border the values
// it already holds. A refresh told which tiles were written since the channel's last refresh passes
// over a list when neither its tile nor the tile it takes from was written since (by the caller,
// through a topology change, or by a list replayed earlier in this refresh that changed a value):
// - A ghost tile's list writes every leaf of the tile, from leaves of the tile written earlier in the
//   list, or of the tile it takes from, which no later list writes. With both tiles as they were, it
//   writes what it wrote last time, and no later list rewrote that.
// - A list of the last tile column within the image rows reads leaves of its tile and of the tile
//   before it, which only lists before it write; nothing after it rewrites what it writes. The same
//   list in a ghost row reads tiles that later lists rewrite, but the ghost row's own list rewrites
//   every leaf it writes before anything reads them.
// - A list of the last tile row reads leaves of its tile and of the tile above it. In the last tile
//   column those include leaves right of the image, which lists after it rewrite, so its copies can
//   differ between two refreshes with nothing written in between: that list is always replayed, and
//   its tile counts as written when a value changed. The other lists of the row read tiles that no
//   later list writes, as in the last column.

#include <bit>
#include <cstdint>

#include "grid/face_stencil_detail.h"
#include "grid/sl_grid.h"
#include "grid/tile_box.h"

namespace VELDRA_TRW {
namespace {

float meanOfPair(float a, float b) { return (a + b) * 0.5f; }
unsigned char meanOfPair(unsigned char a, unsigned char b) {
  return static_cast<unsigned char>((static_cast<unsigned>(a) + static_cast<unsigned>(b)) >> 1);
}

// Child visiting order for leaves that take from direction d: the half on the d side first.
constexpr unsigned char kNearFirst[4][4] = {
    {0, 2, 1, 3},  // takes from -x: lower x half first
    {1, 3, 0, 2},  // takes from +x
    {0, 1, 2, 3},  // takes from -y
    {2, 3, 0, 1},  // takes from +y
};

constexpr int kStepI[4] = {-1, 1, 0, 0};
constexpr int kStepJ[4] = {0, 0, -1, 1};

// Drops the records of the channels' last refreshes: the next refresh of each is whole.
void forgetRefreshes(BoundaryRefreshPlan& plan) {
  for (BoundaryChannelRefresh& r : plan.refreshed) r = BoundaryChannelRefresh{};
}

// The tiles a refresh writes, in its order, each with its direction and the leaves it keeps.
void listTiles(const SLGrid2D& grid, BoundaryRefreshPlan& plan) {
  using Keep = BoundaryTileCopies::Keep;
  plan.tiles.clear();
  plan.firstNode = grid.firstNode;
  plan.ni = grid.ni;
  plan.nj = grid.nj;
  plan.imageWidth = grid.imageWidth;
  plan.imageHeight = grid.imageHeight;
  forgetRefreshes(plan);
  plan.changedInRefresh.assign(grid.tileTopologyChanged.size(), 0);
  const int ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  const auto add = [&](int i, int j, Direction d, Keep keep) {
    BoundaryTileCopies t;
    t.i = i;
    t.j = j;
    t.fromI = i + kStepI[d];
    t.fromJ = j + kStepJ[d];
    t.d = d;
    t.keep = keep;
    plan.tiles.push_back(std::move(t));
  };
  if (grid.imageHeight % grid.tileSize != 0 && nj > 0)
    for (int i = 0; i < ni; ++i) add(i, nj - 1, DIR_MINUS_Y, Keep::BelowImage);
  if (grid.imageWidth % grid.tileSize != 0 && ni > 0)
    for (int j = -grid.gj; j < nj + grid.gj; ++j) add(ni - 1, j, DIR_MINUS_X, Keep::RightOfImage);
  for (int i = 0; i < ni; ++i)
    for (int k = 0; k < grid.gj; ++k) {
      add(i, -1 - k, DIR_PLUS_Y, Keep::Every);
      add(i, nj + k, DIR_MINUS_Y, Keep::Every);
    }
  for (int j = -grid.gj; j < nj + grid.gj; ++j)
    for (int k = 0; k < grid.gi; ++k) {
      add(-1 - k, j, DIR_PLUS_X, Keep::Every);
      add(ni + k, j, DIR_MINUS_X, Keep::Every);
    }
}

bool planDescribes(const SLGrid2D& grid, const BoundaryRefreshPlan& plan) {
  return plan.firstNode == grid.firstNode && plan.ni == grid.ni && plan.nj == grid.nj &&
         plan.imageWidth == grid.imageWidth && plan.imageHeight == grid.imageHeight;
}

// Lists the copies of one tile: every kept leaf, children nearer the image first, takes from its
// neighbour in direction d, or from the two children of that neighbour touching it.
void listCopies(const SLGrid2D& grid, BoundaryTileCopies& t) {
  using Keep = BoundaryTileCopies::Keep;
  t.copies.clear();
  const float bottom = static_cast<float>(grid.imageHeight), right = static_cast<float>(grid.imageWidth);
  grid.forEachLeafInTile(t.i, t.j, kNearFirst[t.d], [&](unsigned n, float cx, float cy, float) {
    if ((t.keep == Keep::BelowImage && !(cy >= bottom)) || (t.keep == Keep::RightOfImage && !(cx >= right))) return;
    const unsigned m = grid.neighbour(n, t.d);
    if (m == NO_NODE) return;
    const unsigned c = grid.child0(m);
    if (c == NO_NODE) t.copies.push_back(BoundaryCopy{n, m, NO_NODE});
    else t.copies.push_back(BoundaryCopy{n, c + face_stencil::kTouching[t.d][0], c + face_stencil::kTouching[t.d][1]});
  });
  t.built = true;
  t.builtAt = grid.topologyClock;
}

// The copies were listed after the last change of the tile and of the tile it takes from.
bool copiesCurrent(const SLGrid2D& grid, const BoundaryTileCopies& t) {
  return t.built && grid.tileChangedAt(t.i, t.j) <= t.builtAt && grid.tileChangedAt(t.fromI, t.fromJ) <= t.builtAt;
}

bool sameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }
bool sameBits(unsigned char a, unsigned char b) { return a == b; }

// Replays a list; with Detect, tells whether a leaf's value changed (bit for bit).
template <bool Detect, typename T>
bool replayCopies(T* channel, const std::vector<BoundaryCopy>& copies) {
  bool changed = false;
  for (const BoundaryCopy& c : copies) {
    const T v = c.second == NO_NODE ? channel[c.first] : meanOfPair(channel[c.first], channel[c.second]);
    if constexpr (Detect) changed = changed || !sameBits(channel[c.leaf], v);
    channel[c.leaf] = v;
  }
  return changed;
}

// The record of the channel's last refresh, or a free one; null when all are taken by others.
BoundaryChannelRefresh* recordOf(BoundaryRefreshPlan& plan, const void* channel) {
  for (BoundaryChannelRefresh& r : plan.refreshed)
    if (r.channel == channel) return &r;
  for (BoundaryChannelRefresh& r : plan.refreshed)
    if (r.channel == nullptr) return &r;
  return nullptr;
}

// Refreshes the channel; with `written`, the tiles written since the channel's last refresh.
template <typename T>
void refreshChannel(SLGrid2D& grid, T* channel, const TileBox* written) {
  if (channel == nullptr || !grid.hasBlock()) return;
  BoundaryRefreshPlan& plan = grid.boundaryPlan;
  if (!planDescribes(grid, plan)) listTiles(grid, plan);
  BoundaryChannelRefresh* record = recordOf(plan, channel);
  const bool partial = written != nullptr && !grid.alwaysRefreshWhole && record != nullptr && record->channel == channel;
  const std::uint64_t since = partial ? record->refreshedAt : 0, pass = ++plan.refreshCount;
  const int lastColumn = static_cast<int>(grid.ni) - 1;
  const auto changed = [&](int i, int j) {
    if (i >= written->i0 && i < written->i1 && j >= written->j0 && j < written->j1) return true;
    return grid.tileChangedAt(i, j) > since || plan.changedInRefresh[grid.rootIndex(i, j) - grid.firstNode] == pass;
  };
  for (BoundaryTileCopies& t : plan.tiles) {
    const bool alwaysReplayed = t.keep == BoundaryTileCopies::Keep::BelowImage && t.i == lastColumn;
    if (partial && !alwaysReplayed && !changed(t.i, t.j) && !changed(t.fromI, t.fromJ)) continue;
    if (!copiesCurrent(grid, t)) listCopies(grid, t);
    if (!partial) {
      replayCopies<false>(channel, t.copies);
      continue;
    }
    if (replayCopies<true>(channel, t.copies)) plan.changedInRefresh[grid.rootIndex(t.i, t.j) - grid.firstNode] = pass;
  }
  if (record != nullptr) *record = BoundaryChannelRefresh{channel, grid.topologyClock};
}

}  // namespace

void SLGrid2D::RefreshBoundary(float* channel) { refreshChannel(*this, channel, nullptr); }
void SLGrid2D::RefreshBoundary(unsigned char* channel) { refreshChannel(*this, channel, nullptr); }

void SLGrid2D::ForgetBoundaryRefreshes() { forgetRefreshes(boundaryPlan); }

void SLGrid2D::RefreshBoundaryAfter(float* channel, int i0, int j0, int i1, int j1) {
  const TileBox written{i0, j0, i1, j1};
  refreshChannel(*this, channel, &written);
}
void SLGrid2D::RefreshBoundaryAfter(unsigned char* channel, int i0, int j0, int i1, int j1) {
  const TileBox written{i0, j0, i1, j1};
  refreshChannel(*this, channel, &written);
}

}  // namespace VELDRA_TRW
