// Narrow-band reinitialisation: one semi-Lagrangian step of d(phi)/d(tau) + sgn(phi)(|grad phi| - 1) = 0
// per leaf, computed in parallel by root tiles into the scratch channels, then merged (also by tiles)
// so that no node changes sign. While the regional level set is in use the same step moves the
// unsigned regional distance, with differences signed by the region labels. When a redistancing of the
// same rectangle follows at once, leaves whose new values it would discard keep their old ones.
#include <cmath>

#include "grid/face_stencil_detail.h"
#include "grid/face_difference.h"
#include "grid/leaf_window.h"
#include "grid/redistancing_detail.h"
#include "grid/sl_grid.h"
#include "common/parallel_rows.h"

namespace VELDRA_TRW {
namespace {

float clampStep(float v) { return v < -1.4f ? -1.4f : (v > 1.4f ? 1.4f : v); }

// Regional difference towards the neighbour in direction d: rho(n) minus the neighbour's distance,
// counted negative across a label border.
float regionalDifference(const SLGrid2D& grid, const LeafWindow& w, const EdgeNeighbours& e, unsigned n, Direction d) {
  const unsigned m = e.node[d];
  const float* rho = grid.regional.data();
  const unsigned char* label = grid.region.data();
  if (m == NO_NODE) return 0.0f;
  const unsigned c = grid.child0(m);
  if (c != NO_NODE) {
    const unsigned a = c + face_stencil::kTouching[d][0], b = c + face_stencil::kTouching[d][1];
    float q = label[a] != label[b] ? std::fabs(rho[a] - rho[b]) * 0.5f : (rho[a] + rho[b]) * 0.5f;
    const unsigned char pairLabel = rho[b] > rho[a] ? label[b] : label[a];
    if (pairLabel != label[n]) q = -q;
    return (rho[n] - q) / 0.75f;
  }
  if (grid.level(m) != grid.level(n)) {
    float margin = 0.0f;
    unsigned char far = label[n];
    grid.InterpolateAtNear(w, face_stencil::kUnitX[d], face_stencil::kUnitY[d], &margin, &far);
    if (far != label[n]) margin = -margin;
    return rho[n] - margin;
  }
  return label[m] != label[n] ? rho[n] + rho[m] : rho[n] - rho[m];
}

// Writes the reinitialised values of leaf n (window w, edge neighbours e) into "temp" (and "temp2").
void reinitialiseLeaf(SLGrid2D& grid, unsigned n, const LeafWindow& w, const EdgeNeighbours& e, bool withRegional) {
  const float* phi = grid.levelSet.data();
  const float cells = face_stencil::finestCells(grid.maxLevel, grid.level(n));
  const float sgn = phi[n] >= 0.0f ? 1.0f : -1.0f;
  {
    const float gx = grid.FaceDifferenceNear(w, e, n, DIR_MINUS_X, phi) - grid.FaceDifferenceNear(w, e, n, DIR_PLUS_X, phi);
    const float gy = grid.FaceDifferenceNear(w, e, n, DIR_MINUS_Y, phi) - grid.FaceDifferenceNear(w, e, n, DIR_PLUS_Y, phi);
    const float g = std::sqrt(gx * gx + 1e-8f + gy * gy);
    const float len = g < 1.2f ? g : 1.2f;
    const float bx = clampStep(sgn * gx / g * len), by = clampStep(sgn * gy / g * len);
    const float upstream = grid.InterpolateChannelNear(w, phi, -bx, -by);
    grid.temp[n] = cells * (len * sgn) + upstream;
  }
  if (!withRegional) return;
  const float gx = regionalDifference(grid, w, e, n, DIR_MINUS_X) - regionalDifference(grid, w, e, n, DIR_PLUS_X);
  const float gy = regionalDifference(grid, w, e, n, DIR_MINUS_Y) - regionalDifference(grid, w, e, n, DIR_PLUS_Y);
  const float g = std::sqrt(gx * gx + 1e-8f + gy * gy);
  const float len = g < 1.2f ? g : 1.2f;
  const float bx = clampStep(gx / g * len), by = clampStep(gy / g * len);
  unsigned char footLabel = grid.region[n];
  float* out = grid.temp2.data() + n;
  grid.InterpolateAtNear(w, -bx, -by, out, &footLabel);
  if (grid.region[n] != footLabel)
    *out -= cells * len;
  else
    *out += cells * len;
}

// Least magnitude of a value that the narrow band can only shrink to 2^-38: see discardedByRedistancing.
constexpr float kFirmValue = 0x1p-30f;

// Both comparisons are made and combined without a branch: the sign follows the boundary's shape.
bool firmWithSign(float v, bool positive) { return (positive & (v >= kFirmValue)) | (!positive & (v <= -kFirmValue)); }

// Centre coordinate, across the face at `face` in direction d (+x or +y), of the leaves touching
// that face of a leaf of edge `edge` whose edge neighbours are e: its neighbour there, a leaf on its
// level or a coarser one (whose near face is that face), or the neighbour's two children. Infinity where
// the tree is deeper there (not graded), so that callers keep to the safe side.
float touchingCentre(const SLGrid2D& grid, const EdgeNeighbours& e, Direction d, float face, float edge) {
  const unsigned m = e.node[d];
  if (m == NO_NODE) return HUGE_VALF;
  const unsigned c = grid.child0(m);
  if (c == NO_NODE) return face + static_cast<float>(grid.tileSize >> grid.level(m)) * 0.5f;
  for (const unsigned k : face_stencil::kTouching[d])
    if (grid.child0(c + k) != NO_NODE) return HUGE_VALF;
  return face + edge * 0.25f;
}

// Whether the image border's copies may read leaf n between the narrow band and the redistancing (the
// only reads between the two calls). They take from leaves on the image's left and top edges, and from
// leaves next to a leaf whose centre lies right of or below the image: the leaves of the last tile
// column and row beyond the image, and the ghost tiles, take from the leaves left of or above them.
bool readByBorderCopies(const SLGrid2D& grid, const EdgeNeighbours& e, float cx, float cy, float edge) {
  const float half = edge * 0.5f, width = static_cast<float>(grid.imageWidth);
  const float height = static_cast<float>(grid.imageHeight);
  if (!(cx - half > 0.0f && cy - half > 0.0f)) return true;
  // A touching leaf's centre lies at most half a tile beyond the face: most leaves need no lookup.
  const float reach = grid.tileSizeF * 0.5f;
  if (cx + half + reach < width && cy + half + reach < height) return false;
  return touchingCentre(grid, e, DIR_PLUS_X, cx + half, edge) >= width ||
         touchingCentre(grid, e, DIR_PLUS_Y, cy + half, edge) >= height;
}

// Whether the redistancing that follows at once over the same rectangle (with the regional level set
// off) throws away leaf n's reinitialised value, whatever it is, so that keeping the old value gives
// the same result. That redistancing keeps only the values of leaves it marks, and marks a leaf when
// the product of its value and that of a leaf across one of its edges is at most zero; every other
// leaf is reset to the far value of its sign.
//
// The step keeps every value's strict sign, and a value v with |v| >= 2^-30 stays at least 2^-38 in
// magnitude: the merge takes 0.9 v, or a new value t of v's sign, t = c + u with |c| = cells * len
// >= 2^-14 (len >= sqrt(1e-8)); either |u| <= |c| / 2 and |t| >= 2^-15, or both terms are floats of
// magnitude >= 2^-15, so multiples of 2^-38, and a non-zero sum is at least that. So if n and every
// leaf touching its edges hold such values of one strict sign, every product of n with a neighbour is
// at least 2^-76 and positive, before the step or after, and n is not marked either way. Its sign, the
// only thing the reset reads, is the same. Leaves the image border's copies read are always stepped.
bool discardedByRedistancing(const SLGrid2D& grid, unsigned n, const EdgeNeighbours& e, float cx, float cy,
                             float edge) {
  if (readByBorderCopies(grid, e, cx, cy, edge)) return false;
  const float* phi = grid.levelSet.data();
  const bool positive = phi[n] > 0.0f;
  if (!firmWithSign(phi[n], positive)) return false;
  for (int d = 0; d < 4; ++d) {
    const unsigned m = e.node[d];
    if (m == NO_NODE) continue;
    const unsigned c = grid.child0(m);
    if (c == NO_NODE) {
      if (!firmWithSign(phi[m], positive)) return false;
      continue;
    }
    // The two children touching n; a deeper neighbour (not a graded tree) is not reasoned about.
    for (const unsigned k : face_stencil::kTouching[d])
      if (grid.child0(c + k) != NO_NODE || !firmWithSign(phi[c + k], positive)) return false;
  }
  return true;
}

// One step over [i0, i1) x [j0, j1) kept on the image's tiles, which it returns. With redistancedNext,
// leaves whose new values that redistancing discards keep their old ones. With firstLists, the
// redistancing's box (kept on the root block) is listed: the walk also makes the first sweep's list of
// every quadrant it steps, in that sweep's order (both walks visit children in index order, and a
// window's edge entries are the neighbours), and the merge prepares each listed leaf as listing would
// once the leaf's "temp" has been read.
RedistancingBox updateNarrowBand(SLGrid2D& grid, int i0, int j0, int i1, int j1, bool redistancedNext,
                                 const RedistancingBox* firstLists) {
  if (!grid.hasBlock()) return kNoTiles;
  // The sweep reads neighbours on every side: keep the rectangle on the image's tiles.
  const int iMax = static_cast<int>(grid.ni), jMax = static_cast<int>(grid.nj);
  i0 = i0 < 0 ? 0 : (i0 > iMax ? iMax : i0);
  i1 = i1 < 0 ? 0 : (i1 > iMax ? iMax : i1);
  j0 = j0 < 0 ? 0 : (j0 > jMax ? jMax : j0);
  j1 = j1 < 0 ? 0 : (j1 > jMax ? jMax : j1);
  const bool withRegional = grid.useRegional != 0;
  const bool passOver = redistancedNext && !withRegional;
  RedistancingWorkspace& work = grid.redistanceWork;
  if (firstLists != nullptr) {
    const std::size_t count = firstLists->slot(firstLists->i0, firstLists->j1, 0);
    if (work.tileLeaves[0].size() < count) work.tileLeaves[0].resize(count);
    if (work.firstListCentres.size() < count) work.firstListCentres.resize(count);
  }

  // Each leaf writes its own scratch values (and list entries) only and reads channels nobody writes
  // here. A leaf passed over keeps its value through the merge: its square is at least 2^-60, so the
  // product is positive.
  VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
    std::vector<SweepLeaf>* list = nullptr;
    std::vector<float>* centres = nullptr;
    if (firstLists != nullptr) {
      list = &work.tileLeaves[0][firstLists->slot(i, j, q)];
      centres = &work.firstListCentres[firstLists->slot(i, j, q)];
      list->clear();
      centres->clear();
    }
    forEachLeafWithWindow(grid, i, j, q, [&](unsigned n, float cx, float cy, float edge, const LeafWindow& w) {
      const EdgeNeighbours e = w.edges();
      if (list != nullptr) {
        list->push_back(SweepLeaf{n, edge, {e.node[0], e.node[1], e.node[2], e.node[3]}});
        centres->insert(centres->end(), {cx, cy});
      }
      if (passOver && discardedByRedistancing(grid, n, e, cx, cy, edge))
        grid.temp[n] = grid.levelSet[n];
      else
        reinitialiseLeaf(grid, n, w, e, withRegional);
    });
  });
  // The merge reads and writes each leaf's own values only.
  const auto merge = [&](unsigned n) {
    // A node whose value would change sign is only pulled toward zero.
    float& phi = grid.levelSet[n];
    phi = phi * grid.temp[n] > 0.0f ? grid.temp[n] : 0.9f * phi;
    if (withRegional) grid.regional[n] = grid.temp2[n] > 0.0f ? grid.temp2[n] : 0.9f * grid.regional[n];
  };
  VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
    if (firstLists != nullptr) {
      const std::vector<SweepLeaf>& list = work.tileLeaves[0][firstLists->slot(i, j, q)];
      const float* centre = work.firstListCentres[firstLists->slot(i, j, q)].data();
      for (const SweepLeaf& e : list) {
        merge(e.node);
        redistancing::prepareLeaf(grid, e.node, centre[0], centre[1]);
        centre += 2;
      }
      return;
    }
    const unsigned root = grid.rootIndex(i, j), c = grid.child0(root);
    if (c == NO_NODE && q > 0) return;
    grid.walkSubtree(c == NO_NODE ? root : c + static_cast<unsigned>(q), true, merge);
  });

  grid.RefreshBoundaryAfter(grid.levelSet.data(), i0, j0, i1, j1);
  if (withRegional) {
    grid.RefreshBoundaryAfter(grid.regional.data(), i0, j0, i1, j1);
    grid.RefreshBoundaryAfter(grid.region.data(), i0, j0, i1, j1);
  }
  return RedistancingBox{i0, j0, i1, j1};
}

}  // namespace

void SLGrid2D::UpdateNarrowBand(int i0, int j0, int i1, int j1) { updateNarrowBand(*this, i0, j0, i1, j1, false, nullptr); }

void SLGrid2D::UpdateNarrowBandAndRedistance(int i0, int j0, int i1, int j1) {
  // The step makes the redistancing's first lists of the quadrants it walks when that redistancing
  // lists its box (and reads no regional channels).
  const RedistancingBox box = redistancing::clampedBox(*this, i0, j0, i1, j1);
  const bool listed = useRegional == 0 && redistancing::listable(box);
  const RedistancingBox stepped = updateNarrowBand(*this, i0, j0, i1, j1, true, listed ? &box : nullptr);
  RedistanceListed(i0, j0, i1, j1, listed ? stepped : kNoTiles);
}

}  // namespace VELDRA_TRW
