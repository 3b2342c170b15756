// Deterministic noise for the built-in scene. Lattice values come from an integer hash rather than a
// standard random distribution, whose output differs between standard libraries.
#ifndef VELDRA_PAINT_NOISE_H
#define VELDRA_PAINT_NOISE_H

#include <cmath>
#include <cstdint>

namespace paint {

// Well-mixed 32-bit hash of a lattice point and a seed.
inline std::uint32_t HashPoint(int x, int y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B9u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA6Bu;
  h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
  h = (h ^ (h >> 13)) * 0x297A2D39u;
  return h ^ (h >> 16);
}

// Uniform value in [0, 1) at a lattice point.
inline float LatticeValue(int x, int y, std::uint32_t seed) {
  return static_cast<float>(HashPoint(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

// Value noise in [0, 1): lattice values with cells of the given size, blended with a smoothstep.
inline float ValueNoise(float x, float y, float cell, std::uint32_t seed) {
  const float gx = x / cell, gy = y / cell;
  const float fx0 = std::floor(gx), fy0 = std::floor(gy);
  const int ix = static_cast<int>(fx0), iy = static_cast<int>(fy0);
  float tx = gx - fx0, ty = gy - fy0;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  const float a = LatticeValue(ix, iy, seed), b = LatticeValue(ix + 1, iy, seed);
  const float c = LatticeValue(ix, iy + 1, seed), d = LatticeValue(ix + 1, iy + 1, seed);
  const float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

// Sum of octaves of value noise, cell halving and amplitude halving each octave; in [0, 1).
inline float FractalNoise(float x, float y, float cell, int octaves, std::uint32_t seed) {
  float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * ValueNoise(x, y, cell, seed + 101u * static_cast<std::uint32_t>(o));
    total += amplitude;
    amplitude *= 0.5f;
    cell *= 0.5f;
  }
  return sum / total;
}

}  // namespace paint

#endif  // VELDRA_PAINT_NOISE_H
