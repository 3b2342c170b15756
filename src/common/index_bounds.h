// Float coordinates to integer tile and pixel indices, and clamps of index bounds, defined for any
// input: the one definition that every operation's tile arithmetic uses.
#pragma once
#include <algorithm>

namespace VELDRA_COMMON {

// Truncation toward zero. Values beyond +-2^30 (far beyond any tile or pixel index, so that sums of a
// few of them still fit an int) are cut there, and NaN gives 0.
inline int truncToIndex(float v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -1073741824.0f, 1073741824.0f));
}

// v cut to [0, n]: a bound of a range over n tiles or pixels. Callers form bounds in 64 bits, so that
// coordinates and radii near the truncation limit cannot overflow before the cut.
inline int clampToCount(long long v, long long n) { return static_cast<int>(std::clamp(v, 0LL, n)); }

}  // namespace VELDRA_COMMON
