// Covered fraction of a pixel's square by marching squares on its four bilinear quarters, and the
// feathered alpha by quadrature of the covered fraction over the feather's levels.
#include "extras/pixel_coverage.h"

#include <algorithm>
#include <cmath>

namespace VELDRA_EXTRAS_CORE {
namespace {

// Area of {value <= level} in the unit square with corner values a (0,0), b (1,0), c (1,1), d (0,1),
// by the polygon through the inside corners and the side crossings.
float PolygonArea(float a, float b, float c, float d, float level) {
  const float value[4] = {a, b, c, d};
  static constexpr float kCornerX[4] = {0.0f, 1.0f, 1.0f, 0.0f};
  static constexpr float kCornerY[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  float px[8], py[8];
  int n = 0;
  for (int k = 0; k < 4; ++k) {
    const int m = (k + 1) & 3;
    const bool in = value[k] <= level;
    if (in) {
      px[n] = kCornerX[k];
      py[n++] = kCornerY[k];
    }
    if (in != (value[m] <= level)) {
      const float t = (level - value[k]) / (value[m] - value[k]);
      px[n] = kCornerX[k] + t * (kCornerX[m] - kCornerX[k]);
      py[n++] = kCornerY[k] + t * (kCornerY[m] - kCornerY[k]);
    }
  }
  float twice = 0.0f;
  for (int k = 0; k < n; ++k) {
    const int m = k + 1 == n ? 0 : k + 1;
    twice += px[k] * py[m] - px[m] * py[k];
  }
  return std::clamp(0.5f * twice, 0.0f, 1.0f);
}

// The same for the bilinear piece itself. Its zero set is a hyperbola; straight pieces between the
// side crossings follow it closely unless the piece twists (a - b + c - d) strongly against its
// slope, as around a saddle. Such pieces are split into four (their values at the new corners are
// the piece's own) down to a sixteenth of the side.
float QuarterArea(float a, float b, float c, float d, float level, int depth = 0) {
  const bool ia = a <= level, ib = b <= level, ic = c <= level, id = d <= level;
  if (ia && ib && ic && id) return 1.0f;
  if (!ia && !ib && !ic && !id) return 0.0f;
  const float twist = std::fabs(a - b + c - d);
  const float slope = std::max(std::max(std::fabs(b - a), std::fabs(c - d)), std::max(std::fabs(d - a), std::fabs(c - b)));
  if (depth == 4 || (!(ia == ic && ib == id && ia != ib) && twist <= 0.05f * slope)) return PolygonArea(a, b, c, d, level);
  const float ab = 0.5f * (a + b), bc = 0.5f * (b + c), cd = 0.5f * (c + d), da = 0.5f * (d + a);
  const float m = 0.25f * (a + b + c + d);
  return 0.25f * (QuarterArea(a, ab, m, da, level, depth + 1) + QuarterArea(ab, b, bc, m, level, depth + 1) +
                  QuarterArea(m, bc, c, cd, level, depth + 1) + QuarterArea(da, m, cd, d, level, depth + 1));
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
