// Tinting the selection and marking its boundary and band over the image.
#include "overlay.h"

namespace paint {

std::uint8_t Tint(std::uint8_t image, std::uint8_t tint, int percent) {
  return static_cast<std::uint8_t>((image * (100 - percent) + tint * percent + 50) / 100);
}

RgbImage RenderOverlay(const RgbaImage& image, const GrayImage& mask, const OverlayStyle& style) {
  if (image.empty() || image.width != mask.width || image.height != mask.height) return {};
  RgbImage out(image.width, image.height);
  const int w = image.width, h = image.height;
  auto selected = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && *mask.at(x, y) == 255;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* src = image.at(x, y);
      std::uint8_t* dst = out.at(x, y);
      const std::uint8_t m = *mask.at(x, y);
      if (m == 255) {
        bool edge = false;
        const int r = style.boundaryWidth;
        for (int dy = -r; dy <= r && !edge; ++dy)
          for (int dx = -r; dx <= r && !edge; ++dx) edge = !selected(x + dx, y + dy);
        for (int c = 0; c < 3; ++c) dst[c] = edge ? style.boundary[c] : Tint(src[c], style.selection[c], style.tintPercent);
      } else if (m == 128) {
        for (int c = 0; c < 3; ++c) dst[c] = Tint(src[c], style.band[c], style.tintPercent);
      } else {
        for (int c = 0; c < 3; ++c) dst[c] = src[c];
      }
    }
  }
  return out;
}

}  // namespace paint
