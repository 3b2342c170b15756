// Stages of seeding the selection from a host mask, callable one by one so that tests can look at the
// tree and the values between them.
#pragma once
#include "grid/sl_grid.h"
#include "grid/tile_box.h"

namespace VELDRA_TRW::seeding {

// A rectangle of host mask bytes: pixel (px, py) is at mask[(py - y) * stride + (px - x)].
struct MaskView {
  const unsigned char* mask;
  int x, y, width, height, stride;

  unsigned char at(int px, int py) const {
    return mask[static_cast<long long>(py - y) * stride + (px - x)];
  }
};

// Root tiles touched by the rectangle (single precision, unclamped).
TileBox tileSpanOf(const SLGrid2D& grid, const MaskView& view);

// True when every pixel, every point sample and every tile the seeding touches exists in the root
// block (the image plus up to 1.5 ghost tiles before it and 2 after it), and the mask is usable.
bool fitsGrid(const SLGrid2D& grid, const MaskView& view);

// Splits (graded, recording) down to single-pixel cells at every edge pixel of the mask and at every
// border pixel whose class disagrees with the old field's sign.
void refineAlongEdges(SLGrid2D& grid, const MaskView& view);

// Writes -(width + 2) or +(width + 2) into every leaf centred in the rectangle (and the regional
// value and label with the regional level set in use).
void writeSizeValues(SLGrid2D& grid, const MaskView& view, const TileBox& span);

}  // namespace VELDRA_TRW::seeding
