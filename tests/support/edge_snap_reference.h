// A plain, one-pixel-at-a-time edge snap pipeline, written for clarity rather than speed. The
// library's vectorised, parallel pipeline is checked against it and measured against it.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace edge_snap_reference {

// 4 floats per pixel, row-major.
struct FloatImage4 {
  int width = 0, height = 0;
  std::vector<float> values;

  void Resize(int w, int h) {
    width = w;
    height = h;
    if (values.size() < std::size_t(w) * std::size_t(h) * 4) values.resize(std::size_t(w) * h * 4);
  }
  float* At(int x, int y) { return &values[(std::size_t(y) * width + x) * 4]; }
  const float* At(int x, int y) const { return &values[(std::size_t(y) * width + x) * 4]; }
};

class EdgeSnapReference {
 public:
  void Compute(int w, int h, const unsigned char* image, int imageStride, float* snapX,
               int snapXStride, float* snapY, int snapYStride) {
    colour_.Resize(w + 24, h + 24);
    scratch_.Resize(w + 24, h + 24);
    orientation_.Resize(w + 2, h + 2);
    ConvertColours(w, h, image, imageStride);
    Blur(colour_, scratch_, w, h, 1, 0);
    Blur(scratch_, colour_, w, h, 0, 1);
    ComputeOrientation(w, h);
    if (h >= 1) Project(w, h, snapX, snapXStride, snapY, snapYStride);
  }

  // (L*, u*, v*, 0) of one pixel's bytes.
  static void ConvertPixel(const unsigned char* bytes, float* out) {
    const float r = bytes[0] * 0.003921569f;
    const float g = bytes[1] * 0.003921569f;
    const float b = bytes[2] * 0.003921569f;
    const float x = 0.412453f * r + 0.357580f * g + 0.180423f * b;
    const float y = 0.212671f * r + 0.715160f * g + 0.072169f * b;
    const float z = 0.019334f * r + 0.119193f * g + 0.950227f * b;
    const float q = 15.0f * y + x + 3.0f * z + 1e-10f;
    const float uPrime = 4.0f * x / q;
    const float vPrime = 9.0f * y / q;
    const float lightness = y > 0.008856452f ? 116.0f * powf(y, 0.33333334f) - 16.0f : 903.2963f * y;
    out[0] = lightness;
    out[1] = 13.0f * lightness * (uPrime - 0.19783303f);
    out[2] = 13.0f * lightness * (vPrime - 0.46833044f);
    out[3] = 0.0f;
  }

 private:
  static constexpr float kKernel[21] = {
      0.004481f, 0.008089f, 0.013722f, 0.021874f, 0.032768f, 0.046128f, 0.061021f,
      0.075856f, 0.088613f, 0.097274f, 0.100346f, 0.097274f, 0.088613f, 0.075856f,
      0.061021f, 0.046128f, 0.032768f, 0.021874f, 0.013722f, 0.008089f, 0.004481f};

  void ConvertColours(int w, int h, const unsigned char* image, int imageStride) {
    for (int row = 0; row < h + 24; ++row)
      for (int col = 0; col < w + 24; ++col)
        ConvertPixel(image + 4 * (std::size_t(row) * imageStride + col), colour_.At(col, row));
  }

  // The 21-tap blur along x (dx = 1) or y (dy = 1), over every position whose taps all lie in the block.
  void Blur(const FloatImage4& in, FloatImage4& out, int w, int h, int dx, int dy) {
    for (int r = 10 * dy; r <= h + 23 - 10 * dy; ++r)
      for (int c = 10 * dx; c <= w + 23 - 10 * dx; ++c)
        for (int i = 0; i < 4; ++i) {
          float sum = 0.0f;
          for (int k = -10; k <= 10; ++k) sum += kKernel[k + 10] * in.At(c + k * dx, r + k * dy)[i];
          out.At(c, r)[i] = sum;
        }
  }

  void ComputeOrientation(int w, int h) {
    for (int yo = 0; yo < h + 2; ++yo) {
      for (int xo = 0; xo < w + 2; ++xo) {
        const int c = xo + 11, r = yo + 11;
        float gx[4], gy[4];
        for (int i = 0; i < 4; ++i) {
          gx[i] = (colour_.At(c + 1, r)[i] - colour_.At(c - 1, r)[i]) / 2;
          gy[i] = (colour_.At(c, r + 1)[i] - colour_.At(c, r - 1)[i]) / 2;
        }
        const float a = gx[0] * gx[0] + gx[1] * gx[1] + gx[2] * gx[2] + gx[3] * gx[3];
        const float b = gx[0] * gy[0] + gx[1] * gy[1] + gx[2] * gy[2] + gx[3] * gy[3];
        const float d = gy[0] * gy[0] + gy[1] * gy[1] + gy[2] * gy[2] + gy[3] * gy[3];
        const float root = std::sqrt(4.0f * b * b + (a - d) * (a - d) + 1e-7f) * 0.5f;
        const float m = (a + d) * 0.5f;
        float lambda = m + root;
        if (std::fabs(m - root) > std::fabs(m + root)) lambda = m - root;
        float px, py;
        if (std::fabs(a - lambda) > std::fabs(d - lambda)) {
          px = -b;
          py = a - lambda;
        } else {
          px = d - lambda;
          py = -b;
        }
        const float n = std::sqrt(px * px + py * py) + 1e-7f;
        float* out = orientation_.At(xo, yo);
        out[0] = px / n;
        out[1] = py / n;
        out[2] = std::sqrt(lambda + 1e-7f);
        out[3] = 0.0f;
      }
    }
  }

  void Project(int w, int h, float* snapX, int snapXStride, float* snapY, int snapYStride) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const float* centre = orientation_.At(x + 1, y + 1);
        const float s0 = centre[2];
        const float sl = orientation_.At(x, y + 1)[2];
        const float sr = orientation_.At(x + 2, y + 1)[2];
        const float su = orientation_.At(x + 1, y)[2];
        const float sd = orientation_.At(x + 1, y + 2)[2];
        // Central difference where the strength is monotone across the pixel, else the larger step.
        const auto slope = [s0](float lo, float hi) {
          if ((hi - s0) * (s0 - lo) >= 0) return (hi - lo) * 0.5f;
          return std::fabs(s0 - lo) > std::fabs(hi - s0) ? s0 - lo : hi - s0;
        };
        const float dx = slope(sl, sr), dy = slope(su, sd);
        const float t = centre[0] * dx + centre[1] * dy;
        snapX[std::size_t(y) * snapXStride + x] = centre[0] * t;
        snapY[std::size_t(y) * snapYStride + x] = centre[1] * t;
      }
    }
  }

  FloatImage4 colour_;
  FloatImage4 scratch_;
  FloatImage4 orientation_;
};

}  // namespace edge_snap_reference
