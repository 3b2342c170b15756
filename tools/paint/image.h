// Plain pixel buffers shared by the paint tool's parts: an RGBA image (4 bytes per pixel, the
// layout ComputeEdgeSnapData reads), an RGB image for output and an 8-bit mask.
#ifndef VELDRA_PAINT_IMAGE_H
#define VELDRA_PAINT_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paint {

// Rows are packed: pixel (x, y) starts at byte channels * (y * width + x).
template <int Channels>
struct PixelImage {
  static constexpr int channels = Channels;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  PixelImage() = default;
  PixelImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * Channels, 0) {}

  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * width + x) * Channels;
  }
  std::uint8_t* at(int x, int y) { return pixels.data() + offset(x, y); }
  const std::uint8_t* at(int x, int y) const { return pixels.data() + offset(x, y); }
  bool empty() const { return width <= 0 || height <= 0; }
};

using RgbaImage = PixelImage<4>;
using RgbImage = PixelImage<3>;
using GrayImage = PixelImage<1>;

}  // namespace paint

#endif  // VELDRA_PAINT_IMAGE_H
