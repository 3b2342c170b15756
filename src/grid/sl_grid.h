// SLGrid2D: the level set grid. A quadtree of 256-pixel root tiles laid over the host image, with the
// per-node value channels that hold the selection:
//   "level set"           signed distance in pixels, negative inside the selection
//   "temp", "temp2"       scratch (refinement keeps a reserved child group's index in "temp")
//   "regional level set"  unsigned distance to the nearest border of the three-region partition
//   "region"              region label (RegionLabel): inside, outside or boundary band
//   "region tmp"          scratch labels
// A node at level L covers 256 / 2^L pixels per side; level 8 (maxLevel) is one pixel.
//
// Each group of operations lives in its own source file of src/grid/ (sampling, mask seeding,
// refinement, evolution, redistancing, smoothing, regional level set and line edits).
#pragma once
#include <cstdint>
#include <vector>

#include "grid/boundary_refresh_plan.h"
#include "grid/redistancing_workspace.h"
#include "grid/refinement_workspace.h"
#include "grid/region_labels.h"
#include "storage/tree_array.h"

namespace VELDRA_TRW {

class SLGrid2D;
class LeafWindow;
struct EdgeNeighbours;
namespace sampling {
struct Stencil;
}
struct SLCell2D {};

// Per-sweep working copy used by redistancing.
struct SweepContext {
  float* levelSet = nullptr;
  float* regional = nullptr;
  unsigned char* region = nullptr;
  float* temp = nullptr;
  float* temp2 = nullptr;
  float tileSize = 256.0f;
  TreeFlags* flags = nullptr;
  unsigned char childOrder[4] = {0, 1, 2, 3};
  unsigned char upwind[2] = {DIR_MINUS_X, DIR_MINUS_Y};
};

class SLGrid2D : public TreeArray2D<unsigned, SLGrid2D, SLCell2D> {
 public:
  using Pool = TreeDataPool<float, unsigned, 4>;
  using BytePool = TreeDataPool<unsigned char, unsigned, 4>;

  static constexpr float kUntouchedValue = 100.0f;  // value of root tiles of an empty selection
  static constexpr float kFarValue = 1000.0f;       // reset value of redistancing
  static constexpr std::uint64_t kMaxRootTiles = 1ull << 26;  // largest root block, ghosts included

  Pool levelSet{&nodes, "level set"};
  Pool temp{&nodes, "temp"};
  Pool temp2{&nodes, "temp2"};
  Pool regional{&nodes, "regional level set"};
  BytePool region{&nodes, "region"};
  BytePool regionTmp{&nodes, "region tmp"};
  std::uint8_t useRegional = 0;
  std::uint32_t imageWidth = 0;
  std::uint32_t imageHeight = 0;
  std::uint32_t tileSize = 256;
  float tileSizeF = 256.0f;
  float invTileSize = 0.00390625f;
  std::uint32_t numLevels = 0;
  std::uint32_t numLevelsPlus1 = 1;
  SweepContext sweep;

  SLGrid2D() { maxLevel = 8; }
  ~SLGrid2D() override = default;

  // ---- lifecycle (grid_lifecycle.cpp) ----
  void setImageSize(std::uint32_t w, std::uint32_t h);
  void resetField();
  // Writes "field.pbm" into the current directory. Returns false when the file cannot be written.
  bool saveField() const;

  // ---- sampling (sampling.cpp); read-only, allocation-free, callable from many threads ----
  // Moves (node, lx, ly) to the leaf containing the point; offsets are in units of the node's side
  // relative to its centre.
  void LocateLeaf(unsigned& node, float& lx, float& ly) const;
  // Start tile and offset of an image point (root-tile units, before LocateLeaf).
  void PointToRoot(float px, float py, unsigned& node, float& lx, float& ly) const;
  float SamplePoint(float px, float py, unsigned char* label) const;
  float SampleInterpolated(float px, float py, float* margin, unsigned char* label) const;
  float InterpolateAt(unsigned node, float lx, float ly, float* margin, unsigned char* label) const;
  float InterpolateChannel(unsigned node, const float* channel, float lx, float ly) const;
  // The second half of InterpolateAt: the value (and, with the regional level set, label and
  // margin) from a stencil already found.
  float InterpolateStencil(const sampling::Stencil& s, float* margin, unsigned char* label) const;
  // InterpolateAt and InterpolateChannel from the leaf of window w: the same values, with the leaf
  // and stencil read from the window where it reaches.
  float InterpolateAtNear(const LeafWindow& w, float lx, float ly, float* margin, unsigned char* label) const;
  float InterpolateChannelNear(const LeafWindow& w, const float* channel, float lx, float ly) const;

  // ---- mask seeding (mask_seeding.cpp) ----
  void InitFromMask(int x, int y, int width, int height, const unsigned char* mask, int stride);
  // Splits leaf n keeping the tree graded (neighbours of its parent are split first). The recording
  // variant stores each split node's first child into its "temp" entry.
  void SplitBalanced(unsigned n, bool recordFirstChild = false);

  // ---- refinement (refinement.cpp) ----
  void RefineGridForField(int i0, int j0, int i1, int j1);
  void ClearRefineMarks();
  void MarkSplit(unsigned n);
  void MarkGhostTiles();
  // Ghost marks, then every split and one level of merges, collected over the whole tree. Passes use
  // a form cut to the tiles where marks were set, which must leave the same tree.
  void ApplyRefinement();
  void SplitValues(unsigned n, unsigned g);
  bool CanMerge(unsigned n) const;
  void MergeValues(unsigned n);
  RefinementWorkspace refineWork;

  // ---- evolution and narrow band (evolution.cpp, narrow_band.cpp, boundary_refresh.cpp,
  //      finite_differences.cpp) ----
  float FaceDifference(unsigned n, Direction d, const float* channel) const;
  // FaceDifference with the neighbour m = neighbour(n, d) already known.
  float FaceDifferenceTo(unsigned n, unsigned m, Direction d, const float* channel) const;
  // FaceDifference of leaf n whose window w and edge neighbours e (w.edges()) are at hand (defined
  // inline in grid/face_difference.h).
  inline float FaceDifferenceNear(const LeafWindow& w, const EdgeNeighbours& e, unsigned n, Direction d,
                                  const float* channel) const;
  // The channel one edge length from the window's leaf in direction (ux, uy), where its neighbour is
  // m, a coarser leaf.
  float FarValueAcrossFace(const LeafWindow& w, int ux, int uy, unsigned m, const float* channel) const;
  void NodeGradient(unsigned n, float& gx, float& gy) const;
  void EvolveFront(bool evolveMain, int band, float x, float y, float r, float R, float inflation,
                   float edgeSnap, float smoothing, int boxX, int boxY, int boxWidth, int boxHeight,
                   const float* snapX, int snapXStride, const float* snapY, int snapYStride);
  void UpdateNarrowBand(int i0, int j0, int i1, int j1);
  // UpdateNarrowBand then Redistance over the same rectangle, with the result of the two calls. The
  // narrow band passes over leaves whose value the redistancing provably discards (narrow_band.cpp).
  void UpdateNarrowBandAndRedistance(int i0, int j0, int i1, int j1);
  void RefreshBoundary(float* channel);
  void RefreshBoundary(unsigned char* channel);
  // RefreshBoundary for a channel that, since its last refresh, was written only in the tiles
  // [i0, i1) x [j0, j1) (and where the topology changed): replays only the lists whose copies can
  // differ, with the result of the whole refresh (boundary_refresh.cpp).
  void RefreshBoundaryAfter(float* channel, int i0, int j0, int i1, int j1);
  void RefreshBoundaryAfter(unsigned char* channel, int i0, int j0, int i1, int j1);
  // Makes RefreshBoundaryAfter refresh whole: a grid to check the tiles its callers name against.
  bool alwaysRefreshWhole = false;
  // For writers that leave a channel without refreshing it: the next refresh of every channel is whole.
  void ForgetBoundaryRefreshes();
  // The refresh's copies per tile, kept between refreshes (boundary_refresh.cpp).
  BoundaryRefreshPlan boundaryPlan;

  // ---- redistancing (redistancing.cpp) ----
  void Redistance(int i0, int j0, int i1, int j1);
  // Redistance where the caller has made the first sweep's lists of the quadrants of the tiles in
  // `listed` (within the box kept on the root block), each leaf prepared as listing would.
  void RedistanceListed(int i0, int j0, int i1, int j1, const RedistancingBox& listed);
  RedistancingWorkspace redistanceWork;

  // ---- smoothing (smoothing.cpp) ----
  void Smooth(float cx, float cy, float innerRadius, float outerRadius, int x, int y, int width,
              int height);

  // ---- regional level set and line edits (regional.cpp, line_edit.cpp) ----
  void BuildRegions(int band);
  void RegionBrush(const float centre[2], float radius, float sign);
  void LineEdit(unsigned char label, const float start[2], const float end[2], float radius);

  // ---- walks with geometry ----
  // Child 0 first: the order of every walk that does not need another.
  static constexpr unsigned char kChildrenInOrder[4] = {0, 1, 2, 3};

  // Visits the leaves of root tile (i, j) depth first, children in `order`, passing each leaf with
  // its centre and edge in pixels. A leaf that the visitor splits is entered next, so a walk can
  // refine as it goes; child links are read after the visit because splitting may move the pools.
  template <typename F>
  void forEachLeafInTile(int i, int j, const unsigned char (&order)[4], F&& visit) const {
    forEachLeafBelow(rootIndex(i, j), (static_cast<float>(i) + 0.5f) * tileSizeF,
                     (static_cast<float>(j) + 0.5f) * tileSizeF, tileSizeF, order, visit);
  }

  // The leaves of root tile (i, j) below the root's child q (0 .. 3), child 0 first; a root that is
  // itself a leaf belongs to quadrant 0. The four quadrants visit the tile's leaves once each, so they
  // can run in parallel: the visitor must not split.
  template <typename F>
  void forEachLeafInTileQuadrant(int i, int j, int q, F&& visit) const {
    const unsigned root = rootIndex(i, j);
    const float cx = (static_cast<float>(i) + 0.5f) * tileSizeF, cy = (static_cast<float>(j) + 0.5f) * tileSizeF;
    if (!hasChildren(root)) {
      if (q == 0) visit(root, cx, cy, tileSizeF);
      return;
    }
    const float quarter = tileSizeF * 0.25f;
    forEachLeafBelow(child0(root) + static_cast<unsigned>(q), (q & 1) ? cx + quarter : cx - quarter,
                     (q & 2) ? cy + quarter : cy - quarter, tileSizeF * 0.5f, kChildrenInOrder, visit);
  }

  // Depth-first walk of the leaves below `node` (centre cx, cy, edge `edge`), as forEachLeafInTile.
  template <typename F>
  void forEachLeafBelow(unsigned node, float cx, float cy, float edge, const unsigned char (&order)[4],
                        F&& visit) const {
    struct Entry {
      unsigned node;
      float cx, cy, edge;
    };
    Entry stack[kWalkStackCapacity];
    int depth = 0;
    stack[depth++] = Entry{node, cx, cy, edge};
    while (depth > 0) {
      const Entry e = stack[--depth];
      if (!hasChildren(e.node)) {
        visit(e.node, e.cx, e.cy, e.edge);
        if (!hasChildren(e.node)) continue;
      }
      const unsigned c = child0(e.node);
      const float half = e.edge * 0.5f, quarter = e.edge * 0.25f;
      for (int s = 3; s >= 0; --s) {
        const unsigned k = order[s];
        stack[depth++] = Entry{c + k, (k & 1u) ? e.cx + quarter : e.cx - quarter,
                               (k & 2u) ? e.cy + quarter : e.cy - quarter, half};
      }
    }
  }

  // The leaves of root tile (i, j) in forEachLeafInTile's order (child 0 first), each with its centre,
  // its edge and its four edge neighbours as neighbour() gives them. The visitor must not split.
  template <typename F>
  void forEachLeafInTileWithNeighbours(int i, int j, F&& visit) const {
    forEachLeafInTileWithNeighbours(i, j, kChildrenInOrder, visit);
  }
  // The same with the children of every node taken in `order`.
  template <typename F>
  void forEachLeafInTileWithNeighbours(int i, int j, const unsigned char (&order)[4], F&& visit) const {
    forEachLeafInTileWithNeighbours(i, j, -1, order, visit);
  }
  // The same for the leaves below the root's child `quadrant` (0 .. 3) only, or for the whole tile
  // when it is -1; a root that is itself a leaf belongs to quadrant 0. The four quadrants together
  // visit the tile's leaves once each, so they can run in parallel.
  template <typename F>
  void forEachLeafInTileWithNeighbours(int i, int j, int quadrant, const unsigned char (&order)[4], F&& visit) const {
    struct Entry {
      unsigned node;
      float cx, cy, edge;
      unsigned around[4];
    };
    // A root that is a leaf belongs to quadrant 0 alone; the other quadrants leave it, and its flags,
    // which quadrant 0's visitor may be writing, untouched.
    if (quadrant > 0 && !hasChildren(rootIndex(i, j))) return;
    Entry stack[kWalkStackCapacity];
    int depth = 0;
    Entry& first = stack[depth++];
    first = Entry{rootIndex(i, j), (static_cast<float>(i) + 0.5f) * tileSizeF,
                  (static_cast<float>(j) + 0.5f) * tileSizeF, tileSizeF, {}};
    for (int d = 0; d < 4; ++d) first.around[d] = neighbour(first.node, static_cast<Direction>(d));
    while (depth > 0) {
      const Entry e = stack[--depth];
      const unsigned c = child0(e.node);
      if (c == NO_NODE) {
        visit(e.node, e.cx, e.cy, e.edge, e.around);
        continue;
      }
      const float half = e.edge * 0.5f, quarter = e.edge * 0.25f;
      const bool atRoot = e.edge == tileSizeF;
      for (int s = 3; s >= 0; --s) {
        const unsigned k = order[s];
        if (atRoot && quadrant >= 0 && k != static_cast<unsigned>(quadrant)) continue;
        Entry& child = stack[depth++];
        child.node = c + k;
        child.cx = (k & 1u) ? e.cx + quarter : e.cx - quarter;
        child.cy = (k & 2u) ? e.cy + quarter : e.cy - quarter;
        child.edge = half;
        for (int d = 0; d < 4; ++d)
          child.around[d] = childNeighbour(c, k, e.around[d], static_cast<Direction>(d));
      }
    }
  }

  // The leaves of root tiles [i0, i1) x [j0, j1), rows outer, each tile as forEachLeafInTile with
  // child 0 first.
  template <typename F>
  void forEachLeafInTiles(int i0, int j0, int i1, int j1, F&& visit) const {
    for (int j = j0; j < j1; ++j)
      for (int i = i0; i < i1; ++i) forEachLeafInTile(i, j, kChildrenInOrder, visit);
  }
};

}  // namespace VELDRA_TRW
