// Face geometry shared by the finite differences, the boundary refresh and the narrow band: for each
// edge direction d of a node n, the unit offset towards the neighbour m across that edge, and the two
// children of m that touch n when m is subdivided (lower child index first).
#pragma once
#include "storage/tree_flags.h"

namespace VELDRA_TRW::face_stencil {

// Indexed by Direction (DIR_MINUS_X, DIR_PLUS_X, DIR_MINUS_Y, DIR_PLUS_Y).
inline constexpr float kUnitX[4] = {-1.0f, 1.0f, 0.0f, 0.0f};
inline constexpr float kUnitY[4] = {0.0f, 0.0f, -1.0f, 1.0f};

// A neighbour on the -x side touches n with its +x half (bit 0 set), and so on.
inline constexpr unsigned kTouching[4][2] = {{1, 3}, {0, 2}, {2, 3}, {0, 1}};

// Exactly 2^(maxLevel - level): a node's edge counted in finest cells.
inline float finestCells(unsigned maxLevel, unsigned level) {
  return static_cast<float>(1u << (maxLevel - level));
}

}  // namespace VELDRA_TRW::face_stencil
