// A point's offset from a node's centre, in that node's edge lengths, as it moves one level up or down
// the tree. Child k lies in the upper x half when bit 0 of k is set and in the upper y half when bit 1
// is, so its centre is half its own edge from the parent's centre along each axis. The steps halve or
// double and add a half, which float does exactly; the offsets are read from a table indexed by the
// child index bit rather than chosen by a condition, because the bits follow the shape of the
// boundary and a processor guesses them badly.
#pragma once

namespace VELDRA_TRW::child_steps {

inline constexpr float kTowardsUpperHalf[2] = {-0.5f, 0.5f};

// The offset from the parent's centre of a point at offset v from child k's, along the axis of `bit`
// (k & 1 for x, k >> 1 for y; only the lowest bit counts).
inline float up(float v, unsigned bit) { return (v + kTowardsUpperHalf[bit & 1u]) * 0.5f; }

// The child of a node that holds the point at offset (x, y) from the node's centre (ties go up).
inline unsigned childAt(float x, float y) {
  return static_cast<unsigned>(x >= 0.0f) + 2u * static_cast<unsigned>(y >= 0.0f);
}

// The offset from that child's centre of a point at offset v from its parent's.
inline float down(float v, unsigned bit) { return 2.0f * v + kTowardsUpperHalf[(bit & 1u) ^ 1u]; }

}  // namespace VELDRA_TRW::child_steps
