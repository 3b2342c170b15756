// The edge vector field of a whole image, computed once so that every brush event can hand Step a
// view of it instead of recomputing the field over its brush box. The image is extended beyond its
// border by repeating the edge pixels, as a host extends a brush box's margin, so a view over any
// box holds exactly the values that the box's own computation gives.
#ifndef VELDRA_PYTHON_WHOLE_IMAGE_FIELD_H
#define VELDRA_PYTHON_WHOLE_IMAGE_FIELD_H

#include <vector>

#include "host_conventions.h"
#include "image.h"

namespace veldra_python {

class WholeImageField {
 public:
  // The field of image (width x height, at least 1 x 1). Computed in bands of rows so that the
  // library's work images stay small for large images. False when the library could not allocate
  // its work images (the field is then empty).
  bool Compute(const paint::RgbaImage& image);

  int width() const { return width_; }
  int height() const { return height_; }

  // First element of box (inside the image) in each component; rows are width() floats apart.
  float* x(const veldra_host::PixelBox& box) { return &x_[Offset(box)]; }
  float* y(const veldra_host::PixelBox& box) { return &y_[Offset(box)]; }

  const std::vector<float>& x() const { return x_; }
  const std::vector<float>& y() const { return y_; }

 private:
  std::size_t Offset(const veldra_host::PixelBox& box) const {
    return static_cast<std::size_t>(box.y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(box.x);
  }

  int width_ = 0, height_ = 0;
  std::vector<float> x_, y_;
};

}  // namespace veldra_python

#endif  // VELDRA_PYTHON_WHOLE_IMAGE_FIELD_H
