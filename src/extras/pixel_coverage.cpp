// Covered fraction of a pixel's square by marching squares on its four bilinear quarters, and the
// feathered alpha by quadrature of the covered fraction over the feather's levels.
#include "extras/pixel_coverage.h"

#include <algorithm>

namespace VELDRA_EXTRAS_CORE {
namespace {

// Area of {value <= level} in the unit square with corner values a (0,0), b (1,0), c (1,1), d (0,1).
float QuarterArea(float a, float b, float c, float d, float level) {
  const float value[4] = {a, b, c, d};
  static constexpr float kCornerX[4] = {0.0f, 1.0f, 1.0f, 0.0f};
  static constexpr float kCornerY[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  bool in[4];
  int inside = 0;
  for (int k = 0; k < 4; ++k) inside += (in[k] = value[k] <= level) ? 1 : 0;
  if (inside == 0) return 0.0f;
  if (inside == 4) return 1.0f;
  // The boundary of the square walked corner by corner: inside corners and side crossings.
  float px[8], py[8], cx[4], cy[4];
  int n = 0, crossings = 0;
  for (int k = 0; k < 4; ++k) {
    const int m = (k + 1) & 3;
    if (in[k]) {
      px[n] = kCornerX[k];
      py[n++] = kCornerY[k];
    }
    if (in[k] != in[m]) {
      const float t = (level - value[k]) / (value[m] - value[k]);
      cx[crossings] = px[n] = kCornerX[k] + t * (kCornerX[m] - kCornerX[k]);
      cy[crossings++] = py[n++] = kCornerY[k] + t * (kCornerY[m] - kCornerY[k]);
    }
  }
  const auto shoelace = [](const float* x, const float* y, int count) {
    float twice = 0.0f;
    for (int k = 0; k < count; ++k) {
      const int m = k + 1 == count ? 0 : k + 1;
      twice += x[k] * y[m] - x[m] * y[k];
    }
    return 0.5f * twice;
  };
  float area = shoelace(px, py, n);
  // Diagonal corners inside and the centre outside: the walk joined the two inside corners through
  // the centre; the quadrilateral of the four crossings belongs outside.
  if (inside == 2 && in[0] == in[2] && 0.25f * (a + b + c + d) > level) area -= shoelace(cx, cy, crossings);
  return std::clamp(area, 0.0f, 1.0f);
}

// Gauss-Legendre nodes and weights on [-1, 1], eight points.
constexpr float kNodes[8] = {-0.9602898565f, -0.7966664774f, -0.5255324099f, -0.1834346425f,
                             0.1834346425f,  0.5255324099f,  0.7966664774f,  0.9602898565f};
constexpr float kWeights[8] = {0.1012285363f, 0.2223810345f, 0.3137066459f, 0.3626837834f,
                               0.3626837834f, 0.3137066459f, 0.2223810345f, 0.1012285363f};

}  // namespace

float CoveredFraction(const PixelField& f, float level) {
  float sum = 0.0f;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c)
      sum += QuarterArea(f.v[r][c], f.v[r][c + 1], f.v[r + 1][c + 1], f.v[r + 1][c], level);
  return 0.25f * sum;
}

float PixelAlpha(const PixelField& f, float feather) {
  if (!(feather > 0.0f)) return CoveredFraction(f, 0.0f);
  float lo = f.v[0][0], hi = f.v[0][0];
  for (const auto& row : f.v)
    for (float v : row) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  if (hi <= -feather) return 1.0f;
  if (lo >= feather) return 0.0f;
  // alpha = integral over s in [-F, F] of covered(s) k(s), k the density of K; covered(s) is 0 below
  // the field's least value and 1 from its greatest on.
  const auto rise = [feather](float s) {  // K(s)
    const float t = std::clamp((s + feather) / (2.0f * feather), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
  };
  const float a = std::max(lo, -feather), b = std::min(hi, feather);
  float alpha = 1.0f - rise(b);
  if (b > a) {
    const float half = 0.5f * (b - a), mid = 0.5f * (a + b);
    float sum = 0.0f;
    for (int k = 0; k < 8; ++k) {
      const float s = mid + half * kNodes[k];
      const float t = (s + feather) / (2.0f * feather);
      sum += kWeights[k] * CoveredFraction(f, s) * (3.0f * t * (1.0f - t) / feather);
    }
    alpha += half * sum;
  }
  return std::clamp(alpha, 0.0f, 1.0f);
}

}  // namespace VELDRA_EXTRAS_CORE
