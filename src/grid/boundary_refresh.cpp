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
#include "grid/face_stencil_detail.h"
#include "grid/sl_grid.h"

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

// The tiles a refresh writes, in its order, each with its direction and the leaves it keeps.
void listTiles(const SLGrid2D& grid, BoundaryRefreshPlan& plan) {
  using Keep = BoundaryTileCopies::Keep;
  plan.tiles.clear();
  plan.firstNode = grid.firstNode;
  plan.ni = grid.ni;
  plan.nj = grid.nj;
  plan.imageWidth = grid.imageWidth;
  plan.imageHeight = grid.imageHeight;
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

template <typename T>
void refreshChannel(SLGrid2D& grid, T* channel) {
  if (channel == nullptr || !grid.hasBlock()) return;
  BoundaryRefreshPlan& plan = grid.boundaryPlan;
  if (!planDescribes(grid, plan)) listTiles(grid, plan);
  for (BoundaryTileCopies& t : plan.tiles) {
    if (!copiesCurrent(grid, t)) listCopies(grid, t);
    for (const BoundaryCopy& c : t.copies)
      channel[c.leaf] = c.second == NO_NODE ? channel[c.first] : meanOfPair(channel[c.first], channel[c.second]);
  }
}

}  // namespace

void SLGrid2D::RefreshBoundary(float* channel) { refreshChannel(*this, channel); }
void SLGrid2D::RefreshBoundary(unsigned char* channel) { refreshChannel(*this, channel); }

}  // namespace VELDRA_TRW
