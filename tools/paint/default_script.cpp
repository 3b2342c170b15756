// The built-in strokes, laid along curves at fixed distances from the scene's target outline.
#include "default_script.h"

#include <algorithm>
#include <cmath>

namespace paint {
namespace {

constexpr float kPi = 3.14159265f;
constexpr int kPathSamples = 720;

// The curve at a fixed distance from the target's boundary along its normal (negative: inside),
// for angles a0 .. a1.
std::vector<PointF> OffsetCurve(const BlobShape& b, float a0, float a1, float offset) {
  std::vector<PointF> path;
  for (int i = 0; i <= kPathSamples; ++i) {
    const float a = a0 + (a1 - a0) * static_cast<float>(i) / kPathSamples;
    const PointF p = b.BoundaryPoint(a), n = b.OutwardNormal(a);
    path.push_back({p[0] + offset * n[0], p[1] + offset * n[1]});
  }
  return path;
}

// The curve at a fixed fraction of the radius, for a full turn.
std::vector<PointF> ScaledCurve(const BlobShape& b, float fraction) {
  std::vector<PointF> path;
  for (int i = 0; i <= kPathSamples; ++i) {
    const float a = 2.0f * kPi * static_cast<float>(i) / kPathSamples;
    const float r = fraction * b.Radius(a);
    path.push_back({b.cx + r * std::cos(a), b.cy + r * std::sin(a)});
  }
  return path;
}

int Scaled(float pixels, float scale) { return std::max(1, static_cast<int>(std::lround(pixels * scale))); }

Stroke MakeStroke(StrokeMode mode, int radius, int core, std::vector<std::array<int, 2>> points) {
  Stroke s;
  s.mode = mode;
  s.radius = radius;
  s.core = core;
  s.edgeSnap = 75;
  s.smoothing = 100;
  s.points = std::move(points);
  return s;
}

}  // namespace

std::vector<std::array<int, 2>> ResamplePath(const std::vector<PointF>& path, float spacing) {
  std::vector<std::array<int, 2>> points;
  auto emit = [&](PointF p) {
    const std::array<int, 2> q{static_cast<int>(std::lround(p[0])), static_cast<int>(std::lround(p[1]))};
    if (points.empty() || points.back() != q) points.push_back(q);
  };
  if (path.empty()) return points;
  emit(path.front());
  float carried = 0.0f;  // distance walked since the last emitted point
  for (std::size_t i = 1; i < path.size(); ++i) {
    const float dx = path[i][0] - path[i - 1][0], dy = path[i][1] - path[i - 1][1];
    const float length = std::hypot(dx, dy);
    float along = spacing - carried;
    while (along <= length) {
      const float t = along / length;
      emit({path[i - 1][0] + t * dx, path[i - 1][1] + t * dy});
      along += spacing;
    }
    carried = length - (along - spacing);
  }
  emit(path.back());
  return points;
}

std::vector<Stroke> DefaultStrokes(const Scene& scene) {
  const BlobShape& b = scene.target;
  const float k = scene.scale;
  std::vector<Stroke> strokes;

  // Fill: core discs of radius 0.9 * 100 + 0.5 around a loop at 45 % of the radius.
  const int fillRadius = Scaled(100.0f, k);
  strokes.push_back(MakeStroke(StrokeMode::Add, fillRadius, 90, ResamplePath(ScaledCurve(b, 0.45f), fillRadius / 4.0f)));

  // Outline: core discs reach to 3.5 pixels inside the edge; the edge snap pulls the front onto it.
  const int outlineRadius = Scaled(40.0f, k);
  const float outlineOffset = -0.65f * outlineRadius - 0.5f - 3.5f * k;
  strokes.push_back(MakeStroke(StrokeMode::Add, outlineRadius, 65,
                               ResamplePath(OffsetCurve(b, 0.0f, 2.0f * kPi, outlineOffset), outlineRadius / 4.0f)));

  // A careless dab towards the overlapped object: its core spills about 10 pixels over the edge.
  const float na = scene.neighbourAngle;
  const int dabRadius = Scaled(60.0f, k);
  const float dabOffset = -0.7f * dabRadius - 0.5f + 10.0f * k;
  strokes.push_back(MakeStroke(StrokeMode::Add, dabRadius, 70,
                               ResamplePath(OffsetCurve(b, na - 0.3f, na + 0.3f, dabOffset), dabRadius / 4.0f)));

  // Trim the spill: the subtract core stops 5 pixels outside the edge, the evolution does the rest.
  const int trimRadius = Scaled(40.0f, k);
  const float trimOffset = 0.6f * trimRadius + 0.5f + 5.0f * k;
  strokes.push_back(MakeStroke(StrokeMode::Subtract, trimRadius, 60,
                               ResamplePath(OffsetCurve(b, na - 0.4f, na + 0.4f, trimOffset), trimRadius / 4.0f)));

  // Smooth the soft stretch of the edge.
  const float sa = scene.softAngle;
  const int smoothRadius = Scaled(30.0f, k);
  strokes.push_back(MakeStroke(StrokeMode::Smooth, smoothRadius, 30,
                               ResamplePath(OffsetCurve(b, sa - 0.35f, sa + 0.35f, 0.0f), smoothRadius / 4.0f)));
  return strokes;
}

}  // namespace paint
