// One brush step of the front in the ring r <= d <= R around the brush centre. Phase 1 computes every
// ring leaf's new values into the scratch channels from the current field (so leaf order does not
// matter and root tiles run in parallel); phase 2 commits them. The front is advected at a speed that
// is largest at the inner radius, steered by the host's edge vector field and limited to 0.9 edge
// lengths, plus a Laplacian term.
#include <cmath>

#include "common/index_bounds.h"
#include "common/parallel_rows.h"
#include "grid/face_difference.h"
#include "grid/leaf_window.h"
#include "grid/tile_box.h"
#include "grid/region_labels.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {
namespace {

using VELDRA_COMMON::clampToCount;
using VELDRA_COMMON::truncToIndex;

// Limits a speed to 0.9 edge lengths, keeping its sign (zero counts as positive).
float limitSpeed(float f, float h) {
  const float cap = 0.9f * h;
  if (std::fabs(f) > cap) return f < 0.0f ? -cap : cap;
  return f;
}

// Limits an offset (node units) to length 0.9.
void limitOffset(float& ox, float& oy) {
  const float len = std::sqrt(ox * ox + oy * oy);
  if (len > 0.9f) {
    const float scale = 0.9f / len;
    ox *= scale;
    oy *= scale;
  }
}

struct StepConstants {
  bool evolveMain;
  float band;
  float x, y, r, R;
  float inflation;
  float snapGain;   // E * 2^numLevels
  float smoothing;  // K
  int boxX, boxY, boxWidth, boxHeight;
  const float* snapX;
  int snapXStride;
  const float* snapY;
  int snapYStride;
};

// Phase 1 for one ring leaf inside the host's rectangle; w is its window.
void evolveLeaf(SLGrid2D& grid, const StepConstants& k, unsigned n, const LeafWindow& w, float px, float py,
                float d, float h) {
  const float* phi = grid.levelSet.data();
  const EdgeNeighbours e = w.edges();
  const float dMinusX = grid.FaceDifferenceNear(w, e, n, DIR_MINUS_X, phi);
  const float dPlusX = grid.FaceDifferenceNear(w, e, n, DIR_PLUS_X, phi);
  const float dMinusY = grid.FaceDifferenceNear(w, e, n, DIR_MINUS_Y, phi);
  const float dPlusY = grid.FaceDifferenceNear(w, e, n, DIR_PLUS_Y, phi);
  const float gx = dMinusX - dPlusX, gy = dMinusY - dPlusY;
  // Against the gradient: from larger to smaller values.
  const float norm = std::sqrt(gx * gx + gy * gy) + 1e-8f;
  const float ux = -gx / norm, uy = -gy / norm;
  const float inner = (d - k.r) / (k.R - k.r), outer = (k.R - d) / (k.R - k.r);
  const float wIn = 1.0f - inner * inner;
  const float wOut = 1.0f - outer * outer;
  const float push = wIn * k.inflation;

  if (!k.evolveMain) {
    grid.temp[n] = phi[n];
  } else {
    const int row = truncToIndex(py) - k.boxY, col = truncToIndex(px) - k.boxX;
    const float sx = k.snapX[row * k.snapXStride + col], sy = k.snapY[row * k.snapYStride + col];
    const float speed = limitSpeed(wOut * k.snapGain * (ux * sx + uy * sy) + push, h);
    const float v = speed / h;
    float ox = v * ux * 0.95f, oy = v * uy * 0.95f;
    limitOffset(ox, oy);
    float discardMargin = 0.0f;
    unsigned char discardLabel = 0;
    float value = grid.InterpolateAtNear(w, -ox, -oy, &discardMargin, &discardLabel);
    // Sum over the four faces of (neighbour - own value).
    const float laplacian = -dPlusY - (dMinusX + dPlusX) - dMinusY;
    value += k.smoothing * wIn * laplacian / (h * h);
    grid.temp[n] = value;
  }

  if (grid.useRegional == 0) return;
  const float speed2 = limitSpeed(push, h);
  float ox2 = speed2 / h * 0.95f * ux, oy2 = speed2 / h * 0.95f * uy;
  limitOffset(ox2, oy2);
  float& newRho = grid.temp2[n];
  unsigned char& newLabel = grid.regionTmp[n];
  grid.InterpolateAtNear(w, -ox2, -oy2, &newRho, &newLabel);
  const float newPhi = grid.temp[n];
  const float a = std::fabs(newPhi);
  if (k.band * 0.5f > a) {
    if (newLabel != 2) {
      newRho = a;
      newLabel = 2;
    } else if (a > newRho) {
      newRho = a;
    }
  }
  followLevelSetSign(newPhi, newLabel, newRho);
}

}  // namespace

void SLGrid2D::EvolveFront(bool evolveMain, int band, float x, float y, float r, float R, float inflation,
                           float edgeSnap, float smoothing, int boxX, int boxY, int boxWidth, int boxHeight,
                           const float* snapX, int snapXStride, const float* snapY, int snapYStride) {
  if (!hasBlock()) return;
  // Without edge vectors the main field cannot be evolved; the call changes nothing.
  if (evolveMain && (snapX == nullptr || snapY == nullptr)) return;

  StepConstants k{};
  k.evolveMain = evolveMain;
  k.band = static_cast<float>(band);
  k.x = x;
  k.y = y;
  k.r = r;
  k.R = R;
  k.inflation = inflation;
  k.smoothing = smoothing / 1000.0f;
  // Strength 50 gives about 4, 100 gives 20; a negative or NaN strength counts as 0.
  const float snapStrength =
      edgeSnap > 0.0f ? 20.0f * std::pow(edgeSnap / 100.0f, std::log(0.2f) / std::log(0.5f)) : 0.0f;
  k.snapGain = snapStrength * static_cast<float>(1u << (numLevels < 31 ? numLevels : 31));
  k.boxX = boxX;
  k.boxY = boxY;
  k.boxWidth = boxWidth;
  k.boxHeight = boxHeight;
  k.snapX = snapX;
  k.snapXStride = snapXStride;
  k.snapY = snapY;
  k.snapYStride = snapYStride;

  // The ring weights need R > r; otherwise no leaf is evolved (R < r leaves an empty ring anyway).
  TileBox written{0, 0, 0, 0};  // the tiles whose ring leaves the commit writes
  if (R > r) {
    // Tile bounds in 64 bits: brush centre and radius may each be near the truncation limit.
    const long long t = static_cast<long long>(truncToIndex(R * invTileSize)) + 1;
    const long long ci = truncToIndex(x * invTileSize), cj = truncToIndex(y * invTileSize);
    const int i0 = clampToCount(ci - t, ni), j0 = clampToCount(cj - t, nj);
    const int i1 = clampToCount(ci + 1 + t, ni), j1 = clampToCount(cj + 1 + t, nj);
    written = TileBox{i0, j0, i1, j1};
    const float bx0 = static_cast<float>(boxX), by0 = static_cast<float>(boxY);
    const float bx1 = static_cast<float>(static_cast<long long>(boxX) + boxWidth);
    const float by1 = static_cast<float>(static_cast<long long>(boxY) + boxHeight);
    const bool withRegional = useRegional != 0;

    // Phase 1 reads the channels and writes each ring leaf's own scratch values; phase 2 reads and
    // writes each ring leaf's own values. Tiles, and quarters of tiles, are therefore independent
    // within each phase.
    VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
      if (TileMissesRing(*this, i, j, x, y, r, R)) return;
      forEachLeafWithWindow(*this, i, j, q, [&](unsigned n, float px, float py, float h, const LeafWindow& w) {
        const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
        if (d < r || d > R) return;
        if (px >= bx0 && py >= by0 && px < bx1 && py < by1) {
          evolveLeaf(*this, k, n, w, px, py, d, h);
          return;
        }
        // Ring leaf outside the host's rectangle: it keeps its values through the commit.
        temp[n] = levelSet[n];
        if (withRegional) {
          temp2[n] = regional[n];
          regionTmp[n] = region[n];
        }
      });
    });

    VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
      if (TileMissesRing(*this, i, j, x, y, r, R)) return;
      forEachLeafInTileQuadrant(i, j, q, [&](unsigned n, float px, float py, float) {
        const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
        if (d < r || d > R) return;
        levelSet[n] = temp[n];
        if (withRegional) {
          regional[n] = temp2[n];
          region[n] = regionTmp[n];
        }
      });
    });
  }

  RefreshBoundaryAfter(levelSet.data(), written.i0, written.j0, written.i1, written.j1);
  if (useRegional != 0) {
    RefreshBoundaryAfter(regional.data(), written.i0, written.j0, written.i1, written.j1);
    RefreshBoundaryAfter(region.data(), written.i0, written.j0, written.i1, written.j1);
  }
}

}  // namespace VELDRA_TRW
