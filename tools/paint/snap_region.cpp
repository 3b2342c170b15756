// Computing a region's edge snap field in one library call.
#include "snap_region.h"

#include <veldra/veldra.h>

#include <algorithm>

namespace paint {

void SnapRegion::Compute(const RgbaImage& image, const PixelBox& region) {
  const int x0 = std::max(region.x, 0), y0 = std::max(region.y, 0);
  const int x1 = std::min(region.x + region.width, image.width), y1 = std::min(region.y + region.height, image.height);
  region_ = x1 > x0 && y1 > y0 ? PixelBox{x0, y0, x1 - x0, y1 - y0} : PixelBox{};
  if (region_.empty()) return;
  const veldra_host::SnapBlock block = veldra_host::EdgeSnapBlock(image, region_, &block_);
  const std::size_t size = static_cast<std::size_t>(region_.width) * static_cast<std::size_t>(region_.height);
  x_.resize(size);
  y_.resize(size);
  VELDRA::ComputeEdgeSnapData(region_.width, region_.height, block.pixels, block.stride, x_.data(), region_.width,
                              y_.data(), region_.width);
}

bool SnapRegion::Covers(const PixelBox& box) const {
  return !box.empty() && !region_.empty() && box.x >= region_.x && box.y >= region_.y &&
         box.x + box.width <= region_.x + region_.width && box.y + box.height <= region_.y + region_.height;
}

}  // namespace paint
