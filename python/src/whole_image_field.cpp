// Computing the whole image's edge vector field band by band.
#include "whole_image_field.h"

#include <veldra/veldra.h>

#include <algorithm>
#include <cmath>

namespace veldra_python {
namespace {

// Rows per library call: the work images then hold (width + 24) x 280 pixels at most.
constexpr int kBandRows = 256;

}  // namespace

bool WholeImageField::Compute(const paint::RgbaImage& image) {
  width_ = image.width;
  height_ = image.height;
  std::vector<std::uint8_t> padded;
  veldra_host::CopyBlockWithMargin(image, veldra_host::PixelBox{0, 0, width_, height_}, veldra_host::kSnapMargin, &padded);
  const int paddedWidth = width_ + 2 * veldra_host::kSnapMargin;
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  // NaN marks values the library did not write (it writes none when its work images cannot be
  // allocated); a complete field has none.
  x_.assign(pixels, NAN);
  y_.assign(pixels, NAN);
  for (int top = 0; top < height_; top += kBandRows) {
    const int rows = std::min(kBandRows, height_ - top);
    const std::size_t row0 = static_cast<std::size_t>(top);
    VELDRA::ComputeEdgeSnapData(width_, rows, padded.data() + row0 * paddedWidth * 4, paddedWidth,
                                x_.data() + row0 * width_, width_, y_.data() + row0 * width_, width_);
    const std::size_t last = (row0 + rows) * width_ - 1;
    if (std::isnan(x_[row0 * width_]) || std::isnan(x_[last])) {
      x_.clear();
      y_.clear();
      return false;
    }
  }
  return true;
}

}  // namespace veldra_python
