// The five tunable parameters: their table of defaults and ranges, and clamping.
#pragma once
#include <cstdint>

namespace VELDRA_CORE {

struct ParameterRange {
  std::int32_t defaultValue, minimum, maximum;
};

inline constexpr int kParameterCount = 5;
inline constexpr ParameterRange kParameterTable[kParameterCount] = {
    {10, 1, 1250},     // radius
    {30, 0, 100},      // core
    {75, 0, 100},      // edge snap
    {100, -100, 100},  // smoothing
    {1000, 0, 1000},   // spare
};

inline bool isParameter(int p) { return p >= 0 && p < kParameterCount; }

inline std::int32_t clampParameter(int p, std::int32_t value) {
  const ParameterRange& r = kParameterTable[p];
  if (value < r.minimum) return r.minimum;
  return value < r.maximum ? value : r.maximum;
}

}  // namespace VELDRA_CORE
