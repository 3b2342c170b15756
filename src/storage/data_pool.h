// Per-node data pools and their registry. Every quantity a tree keeps per node lives in its own flat
// array indexed by node; all pools registered with one manager have the same length (the tree's node
// capacity) because the node allocator grows them together.
#pragma once
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "storage/tarrow_allocator.h"
#include "storage/tree_flags.h"

namespace VELDRA_TRW {

template <typename Index>
class TreeDataPoolBase {
 public:
  virtual ~TreeDataPoolBase() = default;
  virtual const char* name() const = 0;
  // Makes room for at least `count` entries; never shrinks. Throws kOutOfMemoryCode.
  virtual void resize(Index count) = 0;
  // One line of statistics for diagnostics.
  virtual void print(std::FILE* stream) const = 0;
};

// Registry of the pools of one tree; a base of the node allocator, so both are one object.
template <typename Index>
struct DataPoolManager {
  static constexpr int kMaxPools = 32;
  Index size = 0;         // entry count of every registered pool (the node capacity)
  std::int32_t count = 0; // registered pools
  TreeDataPoolBase<Index>* pools[kMaxPools] = {};

  bool registerPool(TreeDataPoolBase<Index>* pool) {
    if (count >= kMaxPools) return false;
    pools[count++] = pool;
    return true;
  }
  // Grows every registered pool, in registration order, to the current size.
  void resizeAll() {
    for (int i = 0; i < count; ++i) pools[i]->resize(size);
  }
};

template <typename T, typename Index, int N>
class TreeDataPool final : public TreeDataPoolBase<Index>, public TarrowAllocator {
  static_assert(N == 4, "node groups hold four children");

 public:
  // Capacity is a whole number of node groups: four entries.
  static constexpr std::uint64_t kGranularity = 4 * sizeof(T);

  static constexpr const char* defaultName() {
    return std::is_same_v<T, TreeFlags> ? "pool_flags" : nullptr;
  }

  // Registers with `manager` (when it has room) and sizes itself to the manager's node capacity.
  explicit TreeDataPool(DataPoolManager<Index>* manager, const char* poolName = defaultName()) {
    setName(poolName);
    if (manager != nullptr && manager->registerPool(this)) {
      try {
        resize(manager->size);
      } catch (...) {
        releaseBlock();
        throw;
      }
    }
  }

  const char* name() const override { return TarrowAllocator::name; }

  void resize(Index count) override {
    const std::uint64_t need = static_cast<std::uint64_t>(count) * sizeof(T);
    if (need <= capacityBytes) return;
    commitAtLeast(need, kGranularity);
  }

  void print(std::FILE* stream) const override {
    if (committedBytes % 16 != 0) std::fprintf(stream, "    warning:\n");
    if (reservedBytes % 16 != 0) std::fprintf(stream, "    warning:\n");
    char padded[17];
    bool ended = false;
    for (int i = 0; i < 16; ++i) {
      if (TarrowAllocator::name[i] == '\0') ended = true;
      padded[i] = ended ? ' ' : TarrowAllocator::name[i];
    }
    padded[16] = '\0';
    std::fprintf(stream, "    %s : base=%p,  commit=%8li (%8.2f MB), reserved=%8li (%8.2f MB)\n", padded,
                 static_cast<void*>(rawData), static_cast<long>(committedBytes / sizeof(T)),
                 static_cast<double>(static_cast<float>(committedBytes) * (1.0f / 1024) * (1.0f / 1024)),
                 static_cast<long>(reservedBytes / sizeof(T)),
                 static_cast<double>(static_cast<float>(reservedBytes) * (1.0f / 1024) * (1.0f / 1024)));
  }

  T* data() const { return reinterpret_cast<T*>(rawData); }
  T& operator[](Index i) const { return data()[i]; }
};

}  // namespace VELDRA_TRW
