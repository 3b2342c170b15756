// How a host drives the library, written once for every program of this repository that plays the
// host (the paint tool, the Python module, the benchmarks and the tests): the five parameters set to
// their defaults, the box a brush event may change, the colour block that the edge snap computation
// reads around a box (edge pixels repeated beyond the image), and reading the whole selection back.
// Header-only, so that each of them needs nothing but the public header and this file.
#ifndef VELDRA_HOST_CONVENTIONS_H
#define VELDRA_HOST_CONVENTIONS_H

#include <veldra/veldra.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace veldra_host {

// The host's margin around an edge snap block: ComputeEdgeSnapData reads 12 pixels beyond the box on
// every side, so the host hands it the box grown by this much.
inline constexpr int kSnapMargin = 12;

// The band brush radius a new engine starts from (the engine keeps the last one across images).
inline constexpr float kDefaultMattingRadius = 5.0f;

// Side of the blocks an image too large for one covering disc is read back in (the disc covering such
// a block has radius 726, well inside the radius range).
inline constexpr int kReadBackBlock = 1024;

struct PixelBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// Sets the five parameters to the defaults the library reports: the library never applies them itself.
inline void SetDefaultParameters() {
  for (int p = VELDRA::PARAM_RADIUS; p <= VELDRA::PARAM_SPARE; ++p) {
    const auto param = static_cast<VELDRA::PARAM>(p);
    int value = 0, lo = 0, hi = 0;
    VELDRA::GetDefaultParameter(param, &value, &lo, &hi);
    VELDRA::SetParameter(param, value);
  }
}

// Bounding box of the brush disc (centre, radius in pixels), clipped to a width x height image.
// Empty only when the centre lies more than a radius outside the image.
inline PixelBox BrushBox(int centerX, int centerY, int radius, int width, int height) {
  const long long r = std::max(radius, 0);
  const long long x0 = std::max<long long>(centerX - r, 0), y0 = std::max<long long>(centerY - r, 0);
  const long long x1 = std::min<long long>(centerX + r, width - 1LL), y1 = std::min<long long>(centerY + r, height - 1LL);
  PixelBox box;
  if (x1 < x0 || y1 < y0) return box;
  box.x = static_cast<int>(x0);
  box.y = static_cast<int>(y0);
  box.width = static_cast<int>(x1 - x0 + 1);
  box.height = static_cast<int>(y1 - y0 + 1);
  return box;
}

// The smallest box holding all given boxes (empty ones ignored).
inline PixelBox UnionOf(const std::vector<PixelBox>& boxes) {
  PixelBox out;
  for (const PixelBox& b : boxes) {
    if (b.empty()) continue;
    if (out.empty()) {
      out = b;
      continue;
    }
    const int x0 = std::min(out.x, b.x), y0 = std::min(out.y, b.y);
    const int x1 = std::max(out.x + out.width, b.x + b.width), y1 = std::max(out.y + out.height, b.y + b.height);
    out = PixelBox{x0, y0, x1 - x0, y1 - y0};
  }
  return out;
}

// Copies box grown by margin pixels on every side from the image into block (resized to
// (box.width + 2 margin) x (box.height + 2 margin) RGBA pixels, packed rows); pixels outside the image
// repeat the nearest edge pixel. Image is any 4-byte-per-pixel image with width, height and at(x, y).
template <typename Image>
void CopyBlockWithMargin(const Image& image, const PixelBox& box, int margin, std::vector<std::uint8_t>* block) {
  const int bw = box.width + 2 * margin, bh = box.height + 2 * margin;
  block->resize(static_cast<std::size_t>(std::max(bw, 0)) * static_cast<std::size_t>(std::max(bh, 0)) * 4);
  if (image.width <= 0 || image.height <= 0 || bw <= 0 || bh <= 0) return;
  // Columns that fall inside the image are copied as one run; the rest repeat the edge pixel.
  const int left = box.x - margin;
  const int runStart = std::clamp(-left, 0, bw);
  const int runEnd = std::clamp(image.width - left, runStart, bw);
  for (int by = 0; by < bh; ++by) {
    const int sy = std::clamp(box.y - margin + by, 0, image.height - 1);
    std::uint8_t* out = block->data() + static_cast<std::size_t>(by) * bw * 4;
    const std::uint8_t* first = image.at(0, sy);
    const std::uint8_t* last = image.at(image.width - 1, sy);
    for (int bx = 0; bx < runStart; ++bx) std::memcpy(out + 4 * bx, first, 4);
    if (runEnd > runStart) std::memcpy(out + 4 * runStart, image.at(left + runStart, sy), 4 * static_cast<std::size_t>(runEnd - runStart));
    for (int bx = runEnd; bx < bw; ++bx) std::memcpy(out + 4 * bx, last, 4);
  }
}

// The colour block ComputeEdgeSnapData reads for a box: its first pixel and its row stride in pixels.
struct SnapBlock {
  std::uint8_t* pixels = nullptr;
  int stride = 0;
};

// The box grown by kSnapMargin: handed over in place when it lies inside the image (the library only
// reads it), otherwise copied into *copy with the edge pixels repeated beyond the image.
template <typename Image>
SnapBlock EdgeSnapBlock(const Image& image, const PixelBox& box, std::vector<std::uint8_t>* copy) {
  const int x0 = box.x - kSnapMargin, y0 = box.y - kSnapMargin;
  const int bw = box.width + 2 * kSnapMargin, bh = box.height + 2 * kSnapMargin;
  if (x0 >= 0 && y0 >= 0 && x0 + bw <= image.width && y0 + bh <= image.height)
    return SnapBlock{const_cast<std::uint8_t*>(image.at(x0, y0)), image.width};
  CopyBlockWithMargin(image, box, kSnapMargin, copy);
  return SnapBlock{copy->data(), bw};
}

// Radius that puts every pixel of a w x h block within the disc around its middle.
inline int CoveringRadius(int w, int h) {
  return static_cast<int>(std::ceil(std::hypot((w - 1) * 0.5, (h - 1) * 0.5))) + 1;
}

// Reads the whole width x height selection into mask (rows stride bytes apart): 255 inside, 0 outside,
// 128 in the boundary band (band > 0, or the regional partition's labels). GetSelection writes only
// the pixels within PARAM_RADIUS of the centre it is given, so the image is read in one disc that
// covers it when that fits the radius range, otherwise in kReadBackBlock blocks with a disc each.
// PARAM_RADIUS is raised for the read-back and restored afterwards.
inline void ReadWholeSelection(int width, int height, int band, std::uint8_t* mask, int stride) {
  int savedRadius = 0, defaultRadius = 0, minRadius = 0, maxRadius = 0;
  VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &savedRadius);
  VELDRA::GetDefaultParameter(VELDRA::PARAM_RADIUS, &defaultRadius, &minRadius, &maxRadius);
  const bool whole = CoveringRadius(width, height) <= maxRadius;
  const int blockW = whole ? width : kReadBackBlock, blockH = whole ? height : kReadBackBlock;
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, CoveringRadius(blockW, blockH));
  for (int y = 0; y < height; y += blockH)
    for (int x = 0; x < width; x += blockW) {
      const int w = std::min(blockW, width - x), h = std::min(blockH, height - y);
      VELDRA::GetSelection(x, y, w, h, mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + x, stride,
                           static_cast<float>(x) + 0.5f * static_cast<float>(w - 1),
                           static_cast<float>(y) + 0.5f * static_cast<float>(h - 1), band);
    }
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, savedRadius);
}

}  // namespace veldra_host

#endif  // VELDRA_HOST_CONVENTIONS_H
