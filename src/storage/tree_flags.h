// The per-node flag word of a tree: depth, ghost and root bits, the marks that refinement and
// redistancing set, and the slot of the tree's root-grid record.
#pragma once
#include <cstdint>

namespace VELDRA_TRW {

inline constexpr unsigned NO_NODE = 0xFFFFFFFFu;
inline constexpr unsigned USED_GROUP = 0xFFFFFFFEu;

struct TreeFlags {
  static constexpr std::uint32_t LEVEL_MASK = 0xFFu;
  static constexpr std::uint32_t GHOST = 1u << 8;
  static constexpr std::uint32_t ROOT = 1u << 9;
  static constexpr std::uint32_t SPLIT_MARK = 1u << 11;
  static constexpr std::uint32_t MERGE_MARK = 1u << 12;
  static constexpr std::uint32_t FRONT_MARK = 1u << 14;
  static constexpr std::uint32_t REGION_MARK = 1u << 15;
  static constexpr int GRID_INDEX_SHIFT = 24;

  std::uint32_t bits = 0;

  unsigned level() const { return bits & LEVEL_MASK; }
  unsigned gridIndex() const { return bits >> GRID_INDEX_SHIFT; }
  bool has(std::uint32_t flag) const { return (bits & flag) != 0; }
  void set(std::uint32_t flag) { bits |= flag; }
  void clear(std::uint32_t flag) { bits &= ~flag; }
  void assign(std::uint32_t flag, bool on) { on ? set(flag) : clear(flag); }

  static TreeFlags make(unsigned level, bool ghost, unsigned gridIndex) {
    TreeFlags f;
    f.bits = (level & LEVEL_MASK) | (ghost ? GHOST : 0u) | (gridIndex << GRID_INDEX_SHIFT);
    return f;
  }
};
static_assert(sizeof(TreeFlags) == 4);

// Edge directions of the neighbour lookup.
enum Direction : int { DIR_MINUS_X = 0, DIR_PLUS_X = 1, DIR_MINUS_Y = 2, DIR_PLUS_Y = 3 };

}  // namespace VELDRA_TRW
