// The built-in scene: a procedurally generated photograph stand-in with several textured objects,
// hard and soft edges, a textured background and sensor noise. One object, the target, is the one
// the built-in stroke script selects; the scene records where it is visible as a mask.
#ifndef VELDRA_PAINT_SCENE_H
#define VELDRA_PAINT_SCENE_H

#include <array>
#include <cstdint>

#include "image.h"

namespace paint {

using PointF = std::array<float, 2>;

// A star-shaped blob: radius r0 * (1 + a3 sin(3t + p3) + a5 sin(5t + p5)) around (cx, cy), t the
// angle in image coordinates (y down).
struct BlobShape {
  float cx = 0, cy = 0, r0 = 1;
  float a3 = 0, p3 = 0, a5 = 0, p5 = 0;

  float Radius(float angle) const;
  PointF BoundaryPoint(float angle) const;
  PointF OutwardNormal(float angle) const;  // unit length
  // Radial distance to the boundary: negative inside, zero on it (not a true Euclidean distance).
  float SignedDistance(float x, float y) const;
};

struct Scene {
  RgbaImage image;        // alpha 255 everywhere
  GrayImage targetMask;   // 255 where the target object is what the pixel shows, else 0
  BlobShape target;       // the object to select
  float neighbourAngle;   // direction (from the target's centre) of a similar object it overlaps
  float softAngle;        // direction of the stretch where the target's edge is soft
  float scale;            // image height / 1200: sizes of the scene and script scale with it
};

inline constexpr int kDefaultSceneWidth = 1600;
inline constexpr int kDefaultSceneHeight = 1200;
inline constexpr std::uint32_t kDefaultSceneSeed = 20240611u;

// Same size and seed give the same bytes from the same build (another compiler may round the
// shape functions differently in the last bit and move a few edge pixels). Sides below 64 pixels
// are raised to 64.
Scene GenerateScene(int width = kDefaultSceneWidth, int height = kDefaultSceneHeight,
                    std::uint32_t seed = kDefaultSceneSeed);

}  // namespace paint

#endif  // VELDRA_PAINT_SCENE_H
