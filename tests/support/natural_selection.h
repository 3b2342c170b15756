// A selection like the ones people make on photographs, for benchmarks and whole-session tests: the
// image is split by smooth multi-octave value noise thresholded at zero (about half selected, the
// boundary in a dozen or more pieces, many of them running into the image's edges), rendered with
// photo-like colours and texture, and its boundary traced by marching squares so that strokes can
// walk along it. Everything scales with the image size and is deterministic (integer-hashed noise,
// no standard-library random numbers), so a scaled-down session keeps the character of a full one.
//
// Typical use:
//   const NaturalScene& scene = naturalScene(4000, 3000);
//   VELDRA::InitSelection(0, 0, scene.width, scene.height, scene.seedMask().data(), scene.width);
//   for (auto [x, y] : scene.brushPath(radius / 4.0, 200)) ... one brush event at (x, y) ...
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "paint/noise.h"
#include "support/host.h"

namespace veldra_test {

// The brush radii of the natural-selection session at its full size (4000 x 3000 pixels).
inline constexpr int kNaturalWidth = 4000, kNaturalHeight = 3000;
inline constexpr int kNaturalRadii[4] = {10, 50, 200, 1000};

// A full-size radius scaled to an image `width` pixels wide (at least 1).
inline int scaledRadius(int radius, int width) {
  return std::max(1, static_cast<int>(std::lround(static_cast<double>(radius) * width / kNaturalWidth)));
}

struct PathPoint {
  double x, y;
};

class NaturalScene {
 public:
  NaturalScene(int w, int h, std::uint32_t seed) : width(w), height(h), corners_(static_cast<std::size_t>(w + 1) * (h + 1)) {
    // Five octaves of value noise, the coarsest with cells of a fifth of the longer side.
    const float cell = static_cast<float>(std::max(w, h)) / 5.0f;
    for (int y = 0; y <= h; ++y)
      for (int x = 0; x <= w; ++x)
        corners_[index(x, y)] = paint::FractalNoise(static_cast<float>(x), static_cast<float>(y), cell, 5, seed) - 0.5f;
    trace();
  }

  int width, height;
  // The traced boundary: open pieces end on the image's border, closed ones repeat their first point.
  std::vector<std::vector<PathPoint>> pieces;

  // The noise at a point of the image (bilinear between pixel corners): negative inside the object.
  double value(double x, double y) const {
    const auto [a, b, c, d, fx, fy] = cell(x, y);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
  }

  // The object as a shape: the noise divided by its local gradient, a signed distance near the edge.
  Shape shape() const {
    return Shape{[this](double x, double y) {
      const auto [a, b, c, d, fx, fy] = cell(x, y);
      const double gx = (b - a) * (1 - fy) + (d - c) * fy, gy = (c - a) * (1 - fx) + (d - b) * fx;
      return value(x, y) / std::max(std::hypot(gx, gy), 1e-9);
    }};
  }

  // Photo-like colours and texture, as the blob stroke benchmark renders its object.
  RgbaImage render() const { return veldra_test::render(width, height, shape(), {190, 110, 70}, {70, 120, 150}, 20.0); }

  // The host mask the selection is seeded from: 255 where the noise at the pixel's centre is negative.
  std::vector<unsigned char> seedMask() const {
    std::vector<unsigned char> mask(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) mask[static_cast<std::size_t>(y) * width + x] = value(x + 0.5, y + 0.5) < 0.0 ? 255 : 0;
    return mask;
  }

  const std::vector<PathPoint>& longestPiece() const {
    return *std::max_element(pieces.begin(), pieces.end(),
                             [](const auto& p, const auto& q) { return length(p) < length(q); });
  }

  // `events` brush positions `spacing` pixels apart along the longest piece, from its start: a closed
  // piece is walked round and round, an open one back and forth. Rounded to pixels inside the image.
  std::vector<std::pair<int, int>> brushPath(double spacing, int events) const {
    const std::vector<PathPoint>& piece = longestPiece();
    const bool closed = piece.front().x == piece.back().x && piece.front().y == piece.back().y;
    std::vector<std::pair<int, int>> out;
    std::size_t k = 0;    // current segment piece[k] -> piece[k + 1] (in walking direction)
    double along = 0.0;   // distance walked into it
    int direction = 1;
    const auto at = [&](std::size_t i) { return direction > 0 ? piece[i] : piece[piece.size() - 1 - i]; };
    while (static_cast<int>(out.size()) < events) {
      const PathPoint a = at(k), b = at(k + 1);
      const double t = along / std::max(std::hypot(b.x - a.x, b.y - a.y), 1e-12);
      out.emplace_back(std::clamp(static_cast<int>(std::lround(a.x + (b.x - a.x) * t)), 0, width - 1),
                       std::clamp(static_cast<int>(std::lround(a.y + (b.y - a.y) * t)), 0, height - 1));
      along += spacing;
      while (along >= std::hypot(at(k + 1).x - at(k).x, at(k + 1).y - at(k).y)) {
        along -= std::hypot(at(k + 1).x - at(k).x, at(k + 1).y - at(k).y);
        if (++k + 1 == piece.size()) {
          k = 0;
          if (!closed) direction = -direction;
        }
      }
    }
    return out;
  }

 private:
  std::vector<float> corners_;  // noise at pixel corners, (width + 1) x (height + 1)

  std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * (width + 1) + x; }

  // The four corners of the pixel holding (x, y), clamped into the image, and the offsets within it.
  std::array<double, 6> cell(double x, double y) const {
    const int ix = std::clamp(static_cast<int>(std::floor(x)), 0, width - 1);
    const int iy = std::clamp(static_cast<int>(std::floor(y)), 0, height - 1);
    return {corners_[index(ix, iy)],     corners_[index(ix + 1, iy)], corners_[index(ix, iy + 1)],
            corners_[index(ix + 1, iy + 1)], x - ix, y - iy};
  }

  static double length(const std::vector<PathPoint>& p) {
    double sum = 0.0;
    for (std::size_t k = 1; k < p.size(); ++k) sum += std::hypot(p[k].x - p[k - 1].x, p[k].y - p[k - 1].y);
    return sum;
  }

  // Marching squares over the corner grid. A crossing lies on a cell edge, named by the edge's lower
  // corner and its axis; every cell contributes segments between the crossings on its edges, and
  // segments that share a crossing are chained into pieces.
  void trace() {
    const auto edgeId = [this](int ex, int ey, int vertical) {
      return (static_cast<std::uint64_t>(index(ex, ey)) << 1) | static_cast<std::uint64_t>(vertical);
    };
    const auto crossing = [this](std::uint64_t id) {
      const auto corner = static_cast<std::size_t>(id >> 1);
      const int x0 = static_cast<int>(corner % (width + 1)), y0 = static_cast<int>(corner / (width + 1));
      const int x1 = (id & 1) ? x0 : x0 + 1, y1 = (id & 1) ? y0 + 1 : y0;
      const double a = corners_[index(x0, y0)], b = corners_[index(x1, y1)];
      const double t = a / (a - b);
      return PathPoint{x0 + (x1 - x0) * t, y0 + (y1 - y0) * t};
    };
    std::vector<std::pair<std::uint64_t, std::uint64_t>> segments;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const float v[4] = {corners_[index(x, y)], corners_[index(x + 1, y)], corners_[index(x + 1, y + 1)],
                            corners_[index(x, y + 1)]};
        // Written out: g++ 12 with -fsanitize=undefined miscompiles the equivalent four-step loop.
        const int inside = (v[0] < 0.0f ? 1 : 0) | (v[1] < 0.0f ? 2 : 0) | (v[2] < 0.0f ? 4 : 0) | (v[3] < 0.0f ? 8 : 0);
        if (inside == 0 || inside == 15) continue;
        // Edges in order round the cell: top, right, bottom, left (edge k joins corners k and k + 1).
        const std::uint64_t edge[4] = {edgeId(x, y, 0), edgeId(x + 1, y, 1), edgeId(x, y + 1, 0), edgeId(x, y, 1)};
        std::vector<int> crossed;
        for (int k = 0; k < 4; ++k)
          if (((inside >> k) & 1) != ((inside >> ((k + 1) % 4)) & 1)) crossed.push_back(k);
        if (crossed.size() == 2) {
          segments.emplace_back(edge[crossed[0]], edge[crossed[1]]);
        } else {
          // A saddle: the cell's mean decides whether the inside corners are joined through it.
          const bool centreInside = (v[0] + v[1] + v[2] + v[3]) < 0.0f;
          const bool corner0Inside = (inside & 1) != 0;
          if (centreInside == corner0Inside) {
            segments.emplace_back(edge[0], edge[1]);
            segments.emplace_back(edge[2], edge[3]);
          } else {
            segments.emplace_back(edge[3], edge[0]);
            segments.emplace_back(edge[1], edge[2]);
          }
        }
      }
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> at;
    for (std::size_t s = 0; s < segments.size(); ++s) {
      at[segments[s].first].push_back(s);
      at[segments[s].second].push_back(s);
    }
    std::vector<bool> used(segments.size(), false);
    const auto chain = [&](std::uint64_t start) {
      std::vector<PathPoint> piece{crossing(start)};
      std::uint64_t here = start;
      for (;;) {
        std::size_t next = segments.size();
        for (std::size_t s : at[here])
          if (!used[s]) next = s;
        if (next == segments.size()) break;
        used[next] = true;
        here = segments[next].first == here ? segments[next].second : segments[next].first;
        piece.push_back(crossing(here));
      }
      pieces.push_back(std::move(piece));
    };
    // Open pieces start at a crossing on the border (one segment only), in a fixed order.
    std::map<std::uint64_t, int> ends;
    for (const auto& [id, list] : at)
      if (list.size() == 1) ends[id] = 1;
    for (const auto& [id, one] : ends)
      if (!used[at[id].front()]) chain(id);
    for (std::size_t s = 0; s < segments.size(); ++s)
      if (!used[s]) chain(segments[s].first);
  }
};

// The scene of a size, built once per process (the full size takes a few seconds).
inline const NaturalScene& naturalScene(int width, int height, std::uint32_t seed = 7) {
  static std::map<std::tuple<int, int, std::uint32_t>, std::unique_ptr<NaturalScene>> scenes;
  auto& slot = scenes[{width, height, seed}];
  if (!slot) slot = std::make_unique<NaturalScene>(width, height, seed);
  return *slot;
}

}  // namespace veldra_test
