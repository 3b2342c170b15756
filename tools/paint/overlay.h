// The picture a person looks at to judge a selection: the image with the selection tinted, its
// boundary drawn, and the boundary band (mask value 128) tinted in a second colour.
#ifndef VELDRA_PAINT_OVERLAY_H
#define VELDRA_PAINT_OVERLAY_H

#include <array>
#include <cstdint>

#include "image.h"

namespace paint {

using Rgb = std::array<std::uint8_t, 3>;

struct OverlayStyle {
  Rgb selection{40, 120, 255};  // tint of selected pixels (mask 255)
  Rgb band{255, 60, 200};       // tint of band pixels (mask 128)
  Rgb boundary{255, 230, 0};    // selected pixels near a pixel that is not selected
  int tintPercent = 45;         // share of the tint colour in a tinted pixel
  int boundaryWidth = 2;        // boundary pixels lie within this many pixels (either axis) of the outside
};

// Blend of one channel: (image * (100 - percent) + tint * percent + 50) / 100.
std::uint8_t Tint(std::uint8_t image, std::uint8_t tint, int percent);

// image and mask must have the same size (the overlay is empty otherwise). Mask bytes: 255
// selected, 128 band, anything else outside (left as in the image). Pixels at the image border count
// the outside of the image as not selected.
RgbImage RenderOverlay(const RgbaImage& image, const GrayImage& mask, const OverlayStyle& style = {});

}  // namespace paint

#endif  // VELDRA_PAINT_OVERLAY_H
