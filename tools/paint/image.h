// Plain pixel buffers shared by the paint tool's parts: an RGBA image (4 bytes per pixel, the
// layout ComputeEdgeSnapData reads), an RGB image for output and an 8-bit mask.
#ifndef VELDRA_PAINT_IMAGE_H
#define VELDRA_PAINT_IMAGE_H

#include <algorithm>
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

// The part of `image` inside the rectangle (x, y, w, h); empty when they do not overlap.
template <int Channels>
PixelImage<Channels> Cropped(const PixelImage<Channels>& image, int x, int y, int w, int h) {
  const long long x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  const long long x1 = std::min<long long>(static_cast<long long>(x) + w, image.width);
  const long long y1 = std::min<long long>(static_cast<long long>(y) + h, image.height);
  if (x1 <= x0 || y1 <= y0) return {};
  PixelImage<Channels> out(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
  for (int r = 0; r < out.height; ++r)
    std::copy_n(image.at(static_cast<int>(x0), static_cast<int>(y0) + r), static_cast<std::size_t>(out.width) * Channels,
                out.at(0, r));
  return out;
}

// `image` at 1 / factor of its size: each pixel the rounded mean of a factor x factor block; rows and
// columns left over at the right and bottom are dropped.
template <int Channels>
PixelImage<Channels> Shrunk(const PixelImage<Channels>& image, int factor) {
  if (factor <= 1) return image;
  PixelImage<Channels> out(image.width / factor, image.height / factor);
  const int area = factor * factor;
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < Channels; ++c) {
        int sum = 0;
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx) sum += image.at(x * factor + dx, y * factor + dy)[c];
        out.at(x, y)[c] = static_cast<std::uint8_t>((sum + area / 2) / area);
      }
  return out;
}

using RgbaImage = PixelImage<4>;
using RgbImage = PixelImage<3>;
using GrayImage = PixelImage<1>;

}  // namespace paint

#endif  // VELDRA_PAINT_IMAGE_H
