// WorkImage: the aligned, grow-only float image the edge snap pipeline keeps its rows in.
#pragma once

#include <cstddef>

namespace VELDRA_EDGESNAP {

// An image of three channels stored by planes within each row: a row holds channel 0 of its Width()
// pixels, then channel 1, then channel 2, so that a row's planes are one span of 3 x Width() floats and
// a vector of floats holds one channel of consecutive pixels. The storage is 64-byte aligned and only
// grows: SetSize never shrinks or clears it, so a call that fits reuses the previous allocation and
// allocates nothing.
class WorkImage {
 public:
  static constexpr int kChannels = 3;

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
  // Floats from a row to the next, and from a channel's plane to the next channel's within a row.
  std::ptrdiff_t RowStrideFloats() const { return std::ptrdiff_t(width_) * kChannels; }
  std::ptrdiff_t PlaneStrideFloats() const { return width_; }

  // Channel 0 of pixel x of row y; channel c lies c plane strides further on.
  float* At(int x, int y) { return data_ + std::ptrdiff_t(y) * RowStrideFloats() + x; }

 private:
  float* data_ = nullptr;
  std::size_t capacityPixels_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace VELDRA_EDGESNAP
