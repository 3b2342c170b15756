// Upwind samples and candidates of the quadtree eikonal solver (|grad u| = 1) and the update of one
// leaf, kept apart from the sweep walks so that they can be checked on their own. All arithmetic is single precision in the order written.
#pragma once
#include <cmath>
#include <limits>

#include "grid/sl_grid.h"

namespace VELDRA_TRW::redistancing {

// Two-sided candidate when both upwind neighbours are leaves on the node's own level, spacing h:
// the root of (u - a)^2 + (u - b)^2 = h^2 picked by sigma. NaN when |a - b| > h (no two-sided
// solution; a NaN never replaces a best value).
inline float uniformCandidate(float a, float b, float h, float sigma) {
  const float diff = a - b;
  if (!(std::fabs(diff) <= h)) return std::numeric_limits<float>::quiet_NaN();
  return (a + b + sigma * std::sqrt(2.0f * h * h - diff * diff)) / 2.0f;
}

// The node's displacements to its two upwind samples must span a wedge wide enough for a plane of unit
// slope to reach both values: the part of d_far across d_near must exceed the value difference.
// The sample of larger magnitude is the far one (the first on a tie).
inline bool wedgeAdmits(float a, float b, float d1x, float d1y, float d2x, float d2y) {
  const bool firstIsFar = std::fabs(a) >= std::fabs(b);
  const float fx = firstIsFar ? d1x : d2x, fy = firstIsFar ? d1y : d2y;
  const float nx = firstIsFar ? d2x : d1x, ny = firstIsFar ? d2y : d1y;
  const float nearDotFar = nx * fx + ny * fy;
  const float across = (fx * fx + fy * fy) - nearDotFar * nearDotFar / (nx * nx + ny * ny);
  const float diff = a - b;
  return across > diff * diff;
}

// Two-sided candidate for samples at arbitrary displacements d1, d2 from the node: the value u at the
// node for which the plane through (0, u), (d1, a), (d2, b) has unit slope, root picked by sigma. NaN
// when the wedge test fails, the quadratic has no real root, or d1 and d2 are parallel.
inline float generalCandidate(float a, float b, float d1x, float d1y, float d2x, float d2y, float sigma) {
  if (!wedgeAdmits(a, b, d1x, d1y, d2x, d2y)) return std::numeric_limits<float>::quiet_NaN();
  const float det = d1x * d2y - d1y * d2x;
  const float det2 = det * det;
  const float d12 = d1x * d2x + d1y * d2y;
  const float n1 = d1x * d1x + d1y * d1y;
  const float n2 = d2x * d2x + d2y * d2y;
  const float ex = d1x - d2x, ey = d1y - d2y;
  const float qa = (ex * ex + ey * ey) / det2;
  const float qb = (2.0f * d12 * (a + b) - 2.0f * a * n2 - 2.0f * b * n1) / det2;
  const float qc = (a * a * n2 + b * b * n1 - 2.0f * a * b * d12) / det2 - 1.0f;
  const float disc = qb * qb - 4.0f * qa * qc;
  if (!(disc >= 0.0f)) return std::numeric_limits<float>::quiet_NaN();
  return (-qb + sigma * std::sqrt(disc)) / (2.0f * qa);
}

// ---- the box and the preparation of its leaves ----

// Largest box (in root tiles) whose sweeps replay leaf lists; a radius-1000 brush's line edit covers
// 11 x 11 tiles.
inline constexpr long long kListedBoxTiles = 144;

// The rectangle [i0, i1) x [j0, j1) kept on the root block; neighbours missing at its outer edge are
// skipped.
inline RedistancingBox clampedBox(const SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  const int iMin = -grid.gi, jMin = -grid.gj;
  const int iMax = static_cast<int>(grid.ni) + grid.gi, jMax = static_cast<int>(grid.nj) + grid.gj;
  return RedistancingBox{i0 < iMin ? iMin : i0, j0 < jMin ? jMin : j0, i1 > iMax ? iMax : i1, j1 > jMax ? jMax : j1};
}

// Brush-sized boxes are listed; a whole-image pass would leave lists of every leaf behind: it walks.
inline bool listable(const RedistancingBox& b) {
  return !b.empty() && static_cast<long long>(b.i1 - b.i0) * (b.j1 - b.j0) <= kListedBoxTiles;
}

// Preparation of leaf n: its centre into "temp"/"temp2", both redistancing marks cleared.
inline void prepareLeaf(SLGrid2D& grid, unsigned n, float cx, float cy) {
  grid.temp[n] = cx;
  grid.temp2[n] = cy;
  grid.flags(n).clear(TreeFlags::FRONT_MARK | TreeFlags::REGION_MARK);
}

// ---- the four sweeps ----

struct SweepPlan {
  bool byColumns;        // outer loop over tile columns instead of rows
  bool outerDescending;  // direction of the outer tile loop
  bool innerDescending;  // direction of the inner tile loop
  unsigned char childOrder[4];
  unsigned char upwind[2];
};

// Each sweep walks tiles and children so that both upwind neighbours come before the leaf. The second
// plan is the first reversed (tiles and children), the fourth the third reversed: their leaf orders
// are exact reverses, which lets redistancing replay the first and third sweeps' leaf lists backwards.
inline constexpr SweepPlan kSweeps[4] = {
    {false, false, false, {0, 1, 2, 3}, {DIR_MINUS_X, DIR_MINUS_Y}},
    {false, true, true, {3, 2, 1, 0}, {DIR_PLUS_X, DIR_PLUS_Y}},
    {true, true, false, {1, 3, 0, 2}, {DIR_MINUS_Y, DIR_PLUS_X}},
    {true, false, true, {2, 0, 3, 1}, {DIR_PLUS_Y, DIR_MINUS_X}},
};

// The root tiles of [i0, i1) x [j0, j1) in the plan's order: visit(i, j). Redistancing shares its sweeps
// between threads (SweepSchedule) with the result of sweeping the tiles one after the other in this order.
template <typename F>
void forEachTileOfPlan(const SweepPlan& plan, int i0, int j0, int i1, int j1, F&& visit) {
  const int outerLo = plan.byColumns ? i0 : j0, outerHi = plan.byColumns ? i1 : j1;
  const int innerLo = plan.byColumns ? j0 : i0, innerHi = plan.byColumns ? j1 : i1;
  for (int a = 0; a < outerHi - outerLo; ++a) {
    const int outer = plan.outerDescending ? outerHi - 1 - a : outerLo + a;
    for (int b = 0; b < innerHi - innerLo; ++b) {
      const int inner = plan.innerDescending ? innerHi - 1 - b : innerLo + b;
      if (plan.byColumns) visit(outer, inner);
      else visit(inner, outer);
    }
  }
}

// Points the grid's sweep context at the channels and sets the plan's child order and upwind pair.
inline void loadSweep(SLGrid2D& grid, const SweepPlan& plan) {
  SweepContext& s = grid.sweep;
  s.levelSet = grid.levelSet.data();
  s.regional = grid.regional.data();
  s.region = grid.region.data();
  s.temp = grid.temp.data();
  s.temp2 = grid.temp2.data();
  s.tileSize = grid.tileSizeF;
  s.flags = grid.flagsPool.data();
  for (int k = 0; k < 4; ++k) s.childOrder[k] = plan.childOrder[k];
  s.upwind[0] = plan.upwind[0];
  s.upwind[1] = plan.upwind[1];
}

// ---- one leaf of a sweep, reading the sweep context (channels, child order, upwind directions) ----

inline bool isFar(float v) { return std::fabs(v) == SLGrid2D::kFarValue; }

// One upwind neighbour seen from a leaf: a value and the position it sits at.
struct Sample {
  bool present = false;
  bool subdivided = false;   // the neighbour has children; the sample is its facing pair
  bool ownLevelLeaf = false; // a leaf on the swept leaf's level
  float x = 0.0f, y = 0.0f;
  float value = 0.0f;
  bool usable = false;
  float signedRegional = 0.0f;  // regional sample, negated when its label differs from the leaf's
  bool regionalUsable = false;
};

// m is the upwind neighbour of n in the sweep's direction `which` (neighbour(n, s.upwind[which])).
[[gnu::always_inline]] inline Sample takeSample(const SLGrid2D& grid, const SweepContext& s, unsigned n, unsigned m,
                                                int which, bool withRegional) {
  Sample out;
  if (m == NO_NODE) return out;
  out.present = true;
  const unsigned c = grid.child0(m);
  float rho = 0.0f;
  unsigned char label = 0;
  if (c == NO_NODE) {
    out.ownLevelLeaf = grid.level(m) == grid.level(n);
    out.value = s.levelSet[m];
    out.x = s.temp[m];
    out.y = s.temp2[m];
    out.usable = !isFar(out.value);
    rho = s.regional[m];
    label = s.region[m];
  } else {
    // The facing children sit at positions 2 and 4 (first neighbour) or 3 and 4 (second) of the
    // sweep's child order; the first of the pair wins ties.
    out.subdivided = true;
    const unsigned first = c + s.childOrder[which == 0 ? 1 : 2];
    const unsigned second = c + s.childOrder[3];
    const float va = s.levelSet[first], vb = s.levelSet[second];
    out.value = (va + vb) * 0.5f;
    out.x = (s.temp[first] + s.temp[second]) * 0.5f;
    out.y = (s.temp2[first] + s.temp2[second]) * 0.5f;
    out.usable = !isFar(va) && !isFar(vb);
    if (withRegional) {
      const float ra = s.regional[first], rb = s.regional[second];
      const unsigned char la = s.region[first], lb = s.region[second];
      if (la == lb) {
        rho = (ra + rb) * 0.5f;
        label = la;
      } else {
        rho = std::fabs(ra - rb) * 0.5f;
        label = std::fabs(ra) <= std::fabs(rb) ? la : lb;
      }
    }
  }
  if (withRegional) {
    out.signedRegional = label == s.region[n] ? rho : -rho;
    out.regionalUsable = !isFar(rho);
  }
  return out;
}

// The same, looking the upwind neighbour up.
inline Sample takeSample(const SLGrid2D& grid, const SweepContext& s, unsigned n, int which, bool withRegional) {
  return takeSample(grid, s, n, grid.neighbour(n, static_cast<Direction>(s.upwind[which])), which, withRegional);
}

// Two-sided candidate from sample values a, b (NaN when none exists).
inline float twoSided(const Sample& s1, const Sample& s2, float a, float b, float cx, float cy, float h, float sigma) {
  if (s1.ownLevelLeaf && s2.ownLevelLeaf) return uniformCandidate(a, b, h, sigma);
  return generalCandidate(a, b, s1.x - cx, s1.y - cy, s2.x - cx, s2.y - cy, sigma);
}

// -1 or 1 by a comparison's result. The signs of the leaves follow the shape of the boundary, which a
// processor guesses badly, so signs and the choices between candidates are made without branches.
inline constexpr float kSignOf[2] = {-1.0f, 1.0f};

inline void updateLevelSet(const SweepContext& s, unsigned n, float h, const Sample& s1, const Sample& s2) {
  const float u0 = s.levelSet[n];
  const float sgn = kSignOf[u0 >= 0.0f];
  float best = u0;
  for (const Sample* smp : {&s1, &s2}) {
    if (!smp->usable) continue;
    const float candidate = smp->subdivided ? smp->value + sgn * 0.75f * h : smp->value + sgn * h;
    best = std::fabs(candidate) < std::fabs(best) ? candidate : best;
  }
  if (s1.usable && s2.usable) {
    const float sigma = kSignOf[u0 > 0.0f];
    const float u = twoSided(s1, s2, s1.value, s2.value, s.temp[n], s.temp2[n], h, sigma);
    if (std::fabs(u) < std::fabs(best)) best = u;
  }
  // A sweep never moves the front: a candidate of the other sign is dropped.
  if (best * u0 >= 0.0f) s.levelSet[n] = best;
}

inline void updateRegional(const SweepContext& s, unsigned n, float h, const Sample& s1, const Sample& s2) {
  const float r0 = s.regional[n];
  float best = r0;
  for (const Sample* smp : {&s1, &s2}) {
    if (!smp->regionalUsable) continue;
    const float reach = smp->subdivided ? smp->signedRegional + 0.75f * h : smp->signedRegional + h;
    const float candidate = reach > 0.0f ? reach : 0.0f;
    if (candidate < best) best = candidate;
  }
  if (s1.regionalUsable && s2.regionalUsable) {
    const float sigma = r0 > 0.0f ? 1.0f : -1.0f;
    const float u = twoSided(s1, s2, s1.signedRegional, s2.signedRegional, s.temp[n], s.temp2[n], h, sigma);
    if (u < best) best = u;
  }
  s.regional[n] = best;
}

}  // namespace VELDRA_TRW::redistancing
