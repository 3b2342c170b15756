// The built-in scene, painted layer by layer back to front. Each layer has a signed distance
// (negative inside), a half width of its edge ramp (0.5 gives a one-pixel anti-aliased hard edge,
// larger values a soft edge) and a textured colour.
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "noise.h"

namespace paint {
namespace {

constexpr float kPi = 3.14159265f;

struct Colour {
  float r, g, b;
};

Colour Scaled(Colour c, float f) { return {c.r * f, c.g * f, c.b * f}; }
Colour Mix(Colour a, Colour b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Share of a pixel covered by a shape at signed distance d with an edge ramp of half width s.
float Coverage(float d, float s) {
  const float t = std::clamp(0.5f - d / (2.0f * s), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

struct Layer {
  std::function<float(float, float)> distance;
  std::function<float(float, float)> rampHalfWidth;
  std::function<Colour(float, float)> colour;
  int x0, y0, x1, y1;  // inclusive pixel bounds beyond which the coverage is zero
  bool isTarget = false;
};

void SetBounds(Layer& layer, float cx, float cy, float extent, int width, int height) {
  layer.x0 = std::max(0, static_cast<int>(std::floor(cx - extent)));
  layer.y0 = std::max(0, static_cast<int>(std::floor(cy - extent)));
  layer.x1 = std::min(width - 1, static_cast<int>(std::ceil(cx + extent)));
  layer.y1 = std::min(height - 1, static_cast<int>(std::ceil(cy + extent)));
}

float EllipseDistance(float x, float y, float cx, float cy, float rx, float ry) {
  const float u = (x - cx) / rx, v = (y - cy) / ry;
  return (std::sqrt(u * u + v * v) - 1.0f) * std::min(rx, ry);
}

float RoundedBoxDistance(float x, float y, float cx, float cy, float hx, float hy, float corner, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  const float u = std::abs(c * (x - cx) + s * (y - cy)) - (hx - corner);
  const float v = std::abs(-s * (x - cx) + c * (y - cy)) - (hy - corner);
  const float outside = std::hypot(std::max(u, 0.0f), std::max(v, 0.0f));
  return outside + std::min(std::max(u, v), 0.0f) - corner;
}

// Equilateral triangle with circumradius r pointing up: the largest of the three edge distances.
float TriangleDistance(float x, float y, float cx, float cy, float r) {
  float d = -1e30f;
  for (int k = 0; k < 3; ++k) {
    const float a = -kPi / 2.0f + kPi / 3.0f + 2.0f * kPi / 3.0f * static_cast<float>(k);  // edge normal
    d = std::max(d, std::cos(a) * (x - cx) + std::sin(a) * (y - cy) - 0.5f * r);
  }
  return d;
}

std::vector<Layer> BuildLayers(const Scene& scene, int w, int h, std::uint32_t seed) {
  const float W = static_cast<float>(w), H = static_cast<float>(h), k = scene.scale;
  std::vector<Layer> layers;

  {  // A dark shadow with a wide soft edge.
    Layer l;
    const float cx = 0.18f * W, cy = 0.22f * H, rx = 0.15f * W, ry = 0.11f * H;
    l.distance = [=](float x, float y) { return EllipseDistance(x, y, cx, cy, rx, ry); };
    l.rampHalfWidth = [=](float, float) { return 18.0f * k; };
    l.colour = [=](float x, float y) {
      return Scaled({46, 54, 64}, 0.8f + 0.4f * FractalNoise(x, y, 50.0f * k, 3, seed + 11u));
    };
    SetBounds(l, cx, cy, std::max(rx, ry) + 40.0f * k, w, h);
    layers.push_back(std::move(l));
  }
  {  // A violet blob with a slightly soft edge.
    Layer l;
    BlobShape b{0.55f * W, 0.14f * H, 0.08f * H, 0.12f, 1.3f, 0.05f, 0.4f};
    l.distance = [=](float x, float y) { return b.SignedDistance(x, y); };
    l.rampHalfWidth = [=](float, float) { return 3.0f * k; };
    l.colour = [=](float x, float y) {
      return Scaled({120, 80, 160}, 0.85f + 0.3f * FractalNoise(x, y, 30.0f * k, 3, seed + 12u));
    };
    SetBounds(l, b.cx, b.cy, b.r0 * 1.2f + 10.0f * k, w, h);
    layers.push_back(std::move(l));
  }
  {  // A striped, tilted rounded rectangle with hard edges.
    Layer l;
    const float cx = 0.8f * W, cy = 0.27f * H, hx = 0.1f * W, hy = 0.12f * H, angle = 0.21f;
    l.distance = [=](float x, float y) { return RoundedBoxDistance(x, y, cx, cy, hx, hy, 30.0f * k, angle); };
    l.rampHalfWidth = [](float, float) { return 0.5f; };
    l.colour = [=](float x, float y) {
      const float u = std::cos(angle) * x + std::sin(angle) * y;
      const float stripe = 0.5f + 0.5f * std::sin(u * 2.0f * kPi / (22.0f * k));
      return Scaled({205, 185, 60}, 0.8f + 0.2f * stripe);
    };
    SetBounds(l, cx, cy, std::hypot(hx, hy) + 4.0f, w, h);
    layers.push_back(std::move(l));
  }
  {  // An object of nearly the target's colour that the target overlaps: a weak edge to trim along.
    Layer l;
    const float a = scene.neighbourAngle, rn = 0.5f * scene.target.r0;
    const PointF edge = scene.target.BoundaryPoint(a);
    BlobShape b{edge[0] + 0.6f * rn * std::cos(a), edge[1] + 0.6f * rn * std::sin(a), rn, 0.06f, 0.3f, 0.0f, 0.0f};
    l.distance = [=](float x, float y) { return b.SignedDistance(x, y); };
    l.rampHalfWidth = [=](float, float) { return 1.5f * k; };
    l.colour = [=](float x, float y) {
      return Scaled({178, 88, 60}, 0.88f + 0.24f * FractalNoise(x, y, 36.0f * k, 3, seed + 13u));
    };
    SetBounds(l, b.cx, b.cy, rn * 1.1f + 8.0f * k, w, h);
    layers.push_back(std::move(l));
  }
  {  // The target: hard edged except for one soft stretch.
    Layer l;
    const BlobShape b = scene.target;
    const float soft = scene.softAngle;
    l.distance = [=](float x, float y) { return b.SignedDistance(x, y); };
    l.rampHalfWidth = [=](float x, float y) {
      const float c = std::max(0.0f, std::cos(std::atan2(y - b.cy, x - b.cx) - soft));
      return 0.5f + 6.0f * k * c * c * c * c;
    };
    l.colour = [=](float x, float y) {
      return Scaled({214, 96, 48}, 0.92f + 0.16f * FractalNoise(x, y, 48.0f * k, 3, seed + 14u));
    };
    SetBounds(l, b.cx, b.cy, b.r0 * (1.0f + b.a3 + b.a5) + 20.0f * k, w, h);
    l.isTarget = true;
    layers.push_back(std::move(l));
  }
  {  // A teal ring.
    Layer l;
    const float cx = 0.8f * W, cy = 0.76f * H, mid = 0.07f * H, half = 0.02f * H;
    l.distance = [=](float x, float y) { return std::abs(std::hypot(x - cx, y - cy) - mid) - half; };
    l.rampHalfWidth = [](float, float) { return 0.5f; };
    l.colour = [=](float x, float y) {
      return Scaled({50, 140, 165}, 0.85f + 0.3f * FractalNoise(x, y, 20.0f * k, 2, seed + 15u));
    };
    SetBounds(l, cx, cy, mid + half + 4.0f, w, h);
    layers.push_back(std::move(l));
  }
  {  // A pale triangle with a soft edge.
    Layer l;
    const float cx = 0.13f * W, cy = 0.8f * H, r = 0.14f * H;
    l.distance = [=](float x, float y) { return TriangleDistance(x, y, cx, cy, r); };
    l.rampHalfWidth = [=](float, float) { return 5.0f * k; };
    l.colour = [=](float x, float y) {
      return Scaled({228, 222, 210}, 0.9f + 0.1f * FractalNoise(x, y, 24.0f * k, 2, seed + 16u));
    };
    SetBounds(l, cx, cy, r + 16.0f * k, w, h);
    layers.push_back(std::move(l));
  }
  return layers;
}

Colour Background(float x, float y, float H, float k, std::uint32_t seed) {
  const Colour base = Mix({92, 108, 84}, {150, 134, 100}, y / H);
  const float broad = FractalNoise(x, y, 180.0f * k, 5, seed + 1u);
  const float fine = FractalNoise(x, y, 14.0f * k, 2, seed + 2u) - 0.5f;
  const Colour c = Scaled(base, 0.7f + 0.6f * broad);
  return {c.r + 40.0f * fine, c.g + 28.0f * fine, c.b + 16.0f * fine};
}

std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

float BlobShape::Radius(float angle) const {
  return r0 * (1.0f + a3 * std::sin(3.0f * angle + p3) + a5 * std::sin(5.0f * angle + p5));
}

PointF BlobShape::BoundaryPoint(float angle) const {
  const float r = Radius(angle);
  return {cx + r * std::cos(angle), cy + r * std::sin(angle)};
}

PointF BlobShape::OutwardNormal(float angle) const {
  const float r = Radius(angle);
  const float dr = r0 * (3.0f * a3 * std::cos(3.0f * angle + p3) + 5.0f * a5 * std::cos(5.0f * angle + p5));
  const float c = std::cos(angle), s = std::sin(angle);
  const float tx = dr * c - r * s, ty = dr * s + r * c;  // tangent, counter-clockwise in (x, y)
  const float n = std::hypot(tx, ty);
  return {ty / n, -tx / n};
}

float BlobShape::SignedDistance(float x, float y) const {
  const float dx = x - cx, dy = y - cy;
  return std::hypot(dx, dy) - Radius(std::atan2(dy, dx));
}

Scene GenerateScene(int width, int height, std::uint32_t seed) {
  const int w = std::max(width, 64), h = std::max(height, 64);
  Scene scene;
  scene.scale = static_cast<float>(h) / static_cast<float>(kDefaultSceneHeight);
  const float W = static_cast<float>(w), H = static_cast<float>(h);
  scene.target = BlobShape{0.42f * W, 0.56f * H, 0.17f * H, 0.08f, 0.7f, 0.04f, 2.1f};
  scene.neighbourAngle = -0.4f;
  scene.softAngle = kPi;
  scene.image = RgbaImage(w, h);
  scene.targetMask = GrayImage(w, h);

  const std::vector<Layer> layers = BuildLayers(scene, w, h, seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      Colour c = Background(fx, fy, H, scene.scale, seed);
      float targetShare = 0.0f;  // how much of the pixel the target shows after all layers
      for (const Layer& l : layers) {
        if (x < l.x0 || x > l.x1 || y < l.y0 || y > l.y1) continue;
        const float alpha = Coverage(l.distance(fx, fy), l.rampHalfWidth(fx, fy));
        if (alpha <= 0.0f) continue;
        c = Mix(c, l.colour(fx, fy), alpha);
        targetShare = l.isTarget ? alpha : targetShare * (1.0f - alpha);
      }
      std::uint8_t* p = scene.image.at(x, y);
      p[0] = ToByte(c.r + 16.0f * (LatticeValue(x, y, seed + 21u) - 0.5f));
      p[1] = ToByte(c.g + 16.0f * (LatticeValue(x, y, seed + 22u) - 0.5f));
      p[2] = ToByte(c.b + 16.0f * (LatticeValue(x, y, seed + 23u) - 0.5f));
      p[3] = 255;
      *scene.targetMask.at(x, y) = targetShare > 0.5f ? 255 : 0;
    }
  }
  return scene;
}

}  // namespace paint
