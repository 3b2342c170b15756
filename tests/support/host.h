// Synthetic host images with objects of known shape, the edge snap data a host computes for a brush
// box, stroke helpers that drive the exported functions as a host does, and measures of a selection
// against the known object (IoU, mean distance of the selection's boundary from the object's edge).
#pragma once
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include <veldra/veldra.h>

#include "host_conventions.h"

namespace veldra_test {

// An object given by its signed distance in image coordinates (negative inside). Image pixel (x, y)
// covers [x, x + 1) x [y, y + 1); the selection is read at pixel corners, so truth is also taken at
// integer coordinates when a mask is compared.
struct Shape {
  std::function<double(double, double)> distance;
  bool inside(double x, double y) const { return distance(x, y) < 0.0; }
};

inline Shape disc(double cx, double cy, double r) {
  return Shape{[=](double x, double y) { return std::hypot(x - cx, y - cy) - r; }};
}

inline Shape square(double cx, double cy, double half) {
  return Shape{[=](double x, double y) {
    const double qx = std::fabs(x - cx) - half, qy = std::fabs(y - cy) - half;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0);
  }};
}

struct Colour {
  double r, g, b;
};

// Four bytes per pixel (red, green, blue, unused), rows of `width` pixels.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  const unsigned char* at(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4];
  }
};

// Deterministic texture in [-1, 1]: a few crossed sines and a hashed per-pixel grain.
inline double texture(int x, int y, std::uint32_t seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^ seed * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  const double grain = static_cast<double>(h & 0xFFFF) / 32767.5 - 1.0;
  const double waves = std::sin(x * 0.31 + seed) * std::cos(y * 0.27) * 0.6 + std::sin((x + y) * 0.11) * 0.4;
  return 0.5 * grain + 0.5 * waves;
}

// Renders the object over a background with 4 x 4 supersampled edges; `grain` is the texture
// amplitude in colour levels (0 for flat colours), object and background textured independently.
inline RgbaImage render(int width, int height, const Shape& object, Colour inside, Colour outside,
                        double grain = 0.0) {
  RgbaImage img;
  img.width = width;
  img.height = height;
  img.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int covered = 0;
      // Only pixels near the edge need the supersampling.
      const double d = object.distance(x + 0.5, y + 0.5);
      if (d < -1.0) covered = 16;
      else if (d <= 1.0)
        for (int k = 0; k < 16; ++k)
          if (object.inside(x + (k % 4 + 0.5) / 4.0, y + (k / 4 + 0.5) / 4.0)) ++covered;
      const double a = covered / 16.0;
      const double ti = grain * texture(x, y, 1), to = grain * texture(x, y, 2);
      const double rgb[3] = {a * (inside.r + ti) + (1 - a) * (outside.r + to),
                             a * (inside.g + ti) + (1 - a) * (outside.g + to),
                             a * (inside.b - ti) + (1 - a) * (outside.b - to)};
      unsigned char* p = &img.pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>(std::clamp(std::lround(rgb[c]), 0L, 255L));
    }
  return img;
}

// A pixel rectangle.
struct Box {
  int x, y, w, h;
};

// The brush's bounding box, clipped to the image (the host's convention; empty boxes are all 0).
inline Box brushBox(int x, int y, int radius, int width, int height) {
  const veldra_host::PixelBox b = veldra_host::BrushBox(x, y, radius, width, height);
  return Box{b.x, b.y, b.width, b.height};
}

// Edge snap data for a box, as a host computes it (veldra_host::EdgeSnapBlock): the box grown by the
// snap margin is handed over in place when it lies inside the image, otherwise copied into `block`
// with the edge pixels repeated.
struct SnapField {
  Box box{};
  std::vector<float> x, y;  // box.w floats per row
  std::vector<unsigned char> block;
  const unsigned char* source = nullptr;  // the grown box's first pixel as handed over
  int sourceStride = 0;                   // pixels per row of `source`

  // Sizes the output arrays for every brush box of radius up to `radius` at once, as an editor does
  // when the brush size is set, so that no event pays for growing them and touching their pages.
  void reserveFor(int radius) {
    const std::size_t side = 2 * static_cast<std::size_t>(std::max(radius, 0)) + 1;
    if (x.size() < side * side) x.resize(side * side);
    if (y.size() < side * side) y.resize(side * side);
  }
};

inline void computeSnap(const RgbaImage& img, const Box& box, SnapField& out) {
  out.box = box;
  const veldra_host::SnapBlock block = veldra_host::EdgeSnapBlock(img, veldra_host::PixelBox{box.x, box.y, box.w, box.h}, &out.block);
  out.source = block.pixels;
  out.sourceStride = block.stride;
  // Every output value is written by the call: the arrays only need their size, and never shrink
  // (a shrunk vector would fill its tail again when it grows back).
  const std::size_t values = static_cast<std::size_t>(std::max(1, box.w * box.h));
  if (out.x.size() < values) out.x.resize(values);
  if (out.y.size() < values) out.y.resize(values);
  VELDRA::ComputeEdgeSnapData(box.w, box.h, block.pixels, block.stride, out.x.data(), box.w, out.y.data(), box.w);
}

// One Step event at (x, y) with the current PARAM_RADIUS, as a host runs it.
inline bool hostStep(const RgbaImage& img, VELDRA::EDITMODE mode, int band, int x, int y, SnapField& scratch) {
  int radius = 0;
  VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &radius);
  const Box box = brushBox(x, y, radius, img.width, img.height);
  computeSnap(img, box, scratch);
  return VELDRA::Step(mode, band, x, y, box.x, box.y, box.w, box.h, scratch.x.data(), box.w, scratch.y.data(),
                      box.w);
}

// Wall time of the three calls of one host event, in milliseconds.
struct EventTimes {
  double snap = 0.0, step = 0.0, read = 0.0;
  double total() const { return snap + step + read; }
};

// One brush event as an editor runs it on a mouse move: the edge snap data of the brush box (radius
// `radius`, the current PARAM_RADIUS), Step with that box, and GetSelection of the box into `display`
// (resized to the box, rows of box.w bytes) as the editor's screen would show it.
inline bool hostEvent(const RgbaImage& img, VELDRA::EDITMODE mode, int x, int y, int radius, SnapField& snap,
                      std::vector<unsigned char>& display, EventTimes* times = nullptr) {
  using Clock = std::chrono::steady_clock;
  const Box box = brushBox(x, y, radius, img.width, img.height);
  display.resize(static_cast<std::size_t>(std::max(1, box.w * box.h)));
  const auto t0 = Clock::now();
  computeSnap(img, box, snap);
  const auto t1 = Clock::now();
  const bool ok = VELDRA::Step(mode, 0, x, y, box.x, box.y, box.w, box.h, snap.x.data(), box.w, snap.y.data(), box.w);
  const auto t2 = Clock::now();
  VELDRA::GetSelection(box.x, box.y, box.w, box.h, display.data(), box.w, static_cast<float>(x), static_cast<float>(y), 0);
  const auto t3 = Clock::now();
  if (times != nullptr) {
    const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    *times = EventTimes{ms(t1 - t0), ms(t2 - t1), ms(t3 - t2)};
  }
  return ok;
}

// The whole selection as a two-level mask (255 inside, 0 outside; 128 for the regional band), read
// back as a host does; a pixel the read-back missed would keep the filler 77.
inline std::vector<unsigned char> readSelection(int width, int height, int band = 0) {
  std::vector<unsigned char> mask(static_cast<std::size_t>(width) * height, 77);
  veldra_host::ReadWholeSelection(width, height, band, mask.data(), width);
  return mask;
}

// Sets every parameter to its default.
inline void defaultParameters() { veldra_host::SetDefaultParameters(); }

// Seeds the selection from the object's inside test at pixel centres grown or shrunk by `offset`.
inline bool seedSelection(int width, int height, const Shape& object, double offset = 0.0) {
  std::vector<unsigned char> mask(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      mask[static_cast<std::size_t>(y) * width + x] = object.distance(x + 0.5, y + 0.5) < offset ? 255 : 0;
  return VELDRA::InitSelection(0, 0, width, height, mask.data(), width);
}

// ---- host masks (row-major, stride = width) ----
struct Mask {
  int width = 0, height = 0;
  std::vector<unsigned char> bytes;
  Mask(int w, int h, unsigned char fill = 0) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h, fill) {}
  unsigned char& at(int x, int y) { return bytes[static_cast<std::size_t>(y) * width + x]; }
  unsigned char at(int x, int y) const { return bytes[static_cast<std::size_t>(y) * width + x]; }
};

inline Mask discMask(int w, int h, float cx, float cy, float r, unsigned char inside = 255) {
  Mask m(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (std::hypot(static_cast<float>(x) + 0.5f - cx, static_cast<float>(y) + 0.5f - cy) < r) m.at(x, y) = inside;
  return m;
}

// Smooth value noise (bilinear over a random lattice of `cell` pixels, three octaves), thresholded:
// blobs with natural-looking outlines.
inline Mask noiseMask(int w, int h, std::uint32_t seed, float cell, float threshold = 0.5f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  struct Octave {
    float cell, weight;
    int nx;
    std::vector<float> lattice;
  };
  std::vector<Octave> octaves;
  float total = 0.0f;
  for (int o = 0; o < 3; ++o) {
    const float c = cell / static_cast<float>(1 << o);
    const int nx = static_cast<int>(static_cast<float>(w) / c) + 2, ny = static_cast<int>(static_cast<float>(h) / c) + 2;
    octaves.push_back({c, 1.0f / static_cast<float>(1 << o), nx, std::vector<float>(static_cast<std::size_t>(nx) * ny)});
    for (float& v : octaves.back().lattice) v = u(rng);
    total += octaves.back().weight;
  }
  Mask m(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float v = 0.0f;
      for (const Octave& oc : octaves) {
        const float fx = static_cast<float>(x) / oc.cell, fy = static_cast<float>(y) / oc.cell;
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        const float sx = fx - static_cast<float>(ix), sy = fy - static_cast<float>(iy);
        const auto L = [&](int a, int b) { return oc.lattice[static_cast<std::size_t>(b) * oc.nx + a]; };
        v += oc.weight * ((L(ix, iy) * (1 - sx) + L(ix + 1, iy) * sx) * (1 - sy) + (L(ix, iy + 1) * (1 - sx) + L(ix + 1, iy + 1) * sx) * sy);
      }
      m.at(x, y) = v / total > threshold ? 255 : 0;
    }
  return m;
}

}  // namespace veldra_test
