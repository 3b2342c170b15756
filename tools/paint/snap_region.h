// The edge snap field of an image region, computed once and handed to Step as views. The field at a
// pixel depends only on the image pixels within 12 of it (the margin), so one call over a region gives,
// bit for bit, what a call over any brush box inside it would give, provided the margin is taken from
// the image and repeats the edge pixels only beyond the image's own edges (as EdgeSnapBlock of
// host_conventions.h does). Step then reads a box's field through a pointer into the region and the
// region's row stride, and no brush event recomputes it. Recompute only when the region's pixels change.
#ifndef VELDRA_PAINT_SNAP_REGION_H
#define VELDRA_PAINT_SNAP_REGION_H

#include <cstdint>
#include <vector>

#include "host_conventions.h"
#include "image.h"

namespace paint {

// The paint tool works in the host's boxes.
using veldra_host::PixelBox;

class SnapRegion {
 public:
  // Computes the field of `region` (clipped to the image) with one ComputeEdgeSnapData call.
  void Compute(const RgbaImage& image, const PixelBox& region);

  const PixelBox& region() const { return region_; }
  // Whether box lies inside the computed region (an empty box never does).
  bool Covers(const PixelBox& box) const;
  // The field at box's first pixel; rows are Stride() floats apart. Box must be covered.
  float* X(const PixelBox& box) { return x_.data() + Offset(box); }
  float* Y(const PixelBox& box) { return y_.data() + Offset(box); }
  int Stride() const { return region_.width; }

 private:
  std::size_t Offset(const PixelBox& box) const {
    return static_cast<std::size_t>(box.y - region_.y) * static_cast<std::size_t>(region_.width) +
           static_cast<std::size_t>(box.x - region_.x);
  }

  PixelBox region_;
  std::vector<std::uint8_t> block_;  // the region plus margin, when it reaches beyond the image
  std::vector<float> x_, y_;
};

}  // namespace paint

#endif  // VELDRA_PAINT_SNAP_REGION_H
