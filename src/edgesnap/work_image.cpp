// Growing, 64-byte aligned storage of the edge snap work images.
#include "edgesnap/work_image.h"

#include <new>

namespace VELDRA_EDGESNAP {

namespace {
constexpr std::align_val_t kAlignment{64};
}

WorkImage::~WorkImage() { ::operator delete(data_, kAlignment); }

void WorkImage::SetSize(int width, int height) {
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  if (pixels > capacityPixels_) {
    ::operator delete(data_, kAlignment);
    data_ = nullptr;
    capacityPixels_ = 0;
    width_ = height_ = 0;
    data_ = static_cast<float*>(::operator new(pixels * kChannels * sizeof(float), kAlignment));
    capacityPixels_ = pixels;
  }
  width_ = width;
  height_ = height;
}

}  // namespace VELDRA_EDGESNAP
