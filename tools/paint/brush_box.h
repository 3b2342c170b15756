// The part of the image a brush event may change, and the colour block the library's edge snap
// computation needs for it: the box plus a margin of 12 pixels on every side.
#ifndef VELDRA_PAINT_BRUSH_BOX_H
#define VELDRA_PAINT_BRUSH_BOX_H

#include <cstdint>
#include <vector>

#include "image.h"

namespace paint {

// Margin that ComputeEdgeSnapData reads around its block.
inline constexpr int kSnapMargin = 12;

struct PixelBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// Bounding box of the brush disc (centre, radius in pixels), clipped to a width x height image.
// Empty only when the centre lies more than a radius outside the image.
PixelBox BrushBox(int centerX, int centerY, int radius, int width, int height);

// Copies box grown by margin pixels on every side from the image into block (resized to
// (box.width + 2 margin) x (box.height + 2 margin) RGBA pixels, packed rows); pixels outside the image
// repeat the nearest edge pixel.
void CopyBlockWithMargin(const RgbaImage& image, const PixelBox& box, int margin, std::vector<std::uint8_t>* block);

}  // namespace paint

#endif  // VELDRA_PAINT_BRUSH_BOX_H
