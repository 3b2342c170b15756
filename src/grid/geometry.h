// Shapes that edits paint into the field, measured by signed distance in pixels (negative inside).
// A shape carries a 4 x 4 transform and the product of that transform with one handed in by its user;
// the line edit uses identity matrices, so distances are in image pixels.
#pragma once
#include <cmath>

namespace VELDRA_TRW {

class GeometryBase {
 public:
  float transform[4][4];
  float combined[4][4];

  GeometryBase() {
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 4; ++k) transform[i][k] = combined[i][k] = i == k ? 1.0f : 0.0f;
  }
  GeometryBase(const GeometryBase&) = default;
  GeometryBase& operator=(const GeometryBase&) = default;

  // combined = m x transform: row i of the result sums m[i][k] times row k of transform.
  virtual void SetTransform(const float m[4][4]) {
    for (int i = 0; i < 4; ++i)
      for (int c = 0; c < 4; ++c) {
        float sum = 0.0f;
        for (int k = 0; k < 4; ++k) sum += m[i][k] * transform[k][c];
        combined[i][c] = sum;
      }
  }
  // True when the point's distance d lies within halfWidth of the outline; then [lo, hi] =
  // [d - halfWidth, d + halfWidth]. Otherwise lo and hi are left as they were.
  virtual bool DistanceRange(float* lo, float* hi, float x, float y, float z, float halfWidth) const = 0;
  virtual float Distance(float x, float y, float z) const = 0;
  virtual void Prepare() = 0;
  virtual ~GeometryBase() = default;
};

// A capsule: every point within `radius` of the segment (x0, y0) - (x1, y1).
class GeometryLine final : public GeometryBase {
 public:
  float x0, y0, x1, y1;
  float radius;

  GeometryLine(float startX, float startY, float endX, float endY, float r)
      : x0(startX), y0(startY), x1(endX), y1(endY), radius(r) {}

  bool DistanceRange(float* lo, float* hi, float x, float y, float z, float halfWidth) const override {
    const float d = Distance(x, y, z);
    if (d > halfWidth) return false;
    *lo = d - halfWidth;
    *hi = d + halfWidth;
    return true;
  }

  // Distance to the nearest point of the segment minus the radius; z is ignored.
  float Distance(float x, float y, float) const override {
    const float ux = x1 - x0, uy = y1 - y0;
    const float length = std::sqrt(ux * ux + uy * uy);
    if (length == 0.0f) {
      const float dx = x - x0, dy = y - y0;
      return std::sqrt(dx * dx + dy * dy) - radius;
    }
    const float t = ((x - x0) * ux + (y - y0) * uy) / length / length;
    float nx, ny;
    if (t >= 1.0f) {
      nx = x1;
      ny = y1;
    } else if (t <= 0.0f) {
      nx = x0;
      ny = y0;
    } else {
      nx = x0 + t * ux;
      ny = y0 + t * uy;
    }
    const float dx = x - nx, dy = y - ny;
    return std::sqrt(dx * dx + dy * dy) - radius;
  }

  void Prepare() override {}
};

}  // namespace VELDRA_TRW
