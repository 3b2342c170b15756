// A split leaf's "temp" entry carries the index of its child group as the raw 32 bits of the float, so
// that the group survives between reserving it and linking it without a side table.
#pragma once
#include <cstring>

namespace VELDRA_TRW::group_index {

inline void store(float& slot, unsigned group) { std::memcpy(&slot, &group, sizeof group); }

inline unsigned load(const float& slot) {
  unsigned group;
  std::memcpy(&group, &slot, sizeof group);
  return group;
}

}  // namespace VELDRA_TRW::group_index
