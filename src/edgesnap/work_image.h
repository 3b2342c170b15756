// WorkImage: the aligned, grow-only float image the edge snap pipeline keeps its rows in.
#pragma once

#include <cstddef>

namespace VELDRA_EDGESNAP {

// An image of 4-float pixels, row-major with Width() pixels per row, 64-byte aligned so that every
// pixel is one aligned 16-byte vector. Storage only grows: SetSize never shrinks or clears it, so a
// call that fits reuses the previous allocation and allocates nothing.
class WorkImage {
 public:
  static constexpr int kFloatsPerPixel = 4;

  WorkImage() = default;
  WorkImage(const WorkImage&) = delete;
  WorkImage& operator=(const WorkImage&) = delete;
  ~WorkImage();

  // Sets the size; reallocates (contents lost, new storage uninitialised) only when it does not fit.
  // A failed allocation throws std::bad_alloc and leaves the image empty.
  void SetSize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t CapacityPixels() const { return capacityPixels_; }
  std::ptrdiff_t RowStrideFloats() const { return std::ptrdiff_t(width_) * kFloatsPerPixel; }

  float* Data() { return data_; }
  const float* Data() const { return data_; }
  float* Pixel(int x, int y) { return data_ + (std::ptrdiff_t(y) * width_ + x) * kFloatsPerPixel; }
  const float* Pixel(int x, int y) const {
    return data_ + (std::ptrdiff_t(y) * width_ + x) * kFloatsPerPixel;
  }

 private:
  float* data_ = nullptr;
  std::size_t capacityPixels_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace VELDRA_EDGESNAP
