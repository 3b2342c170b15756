// Allocator of node indices in groups of four (the children of one node), and registry of the tree's
// data pools. Free groups form a doubly linked list kept in the allocator's own reserved block (two
// words per group: prev, next); an allocated group has USED_GROUP in its prev word. Growing the node
// capacity grows every registered pool to the same capacity, so every allocated index is valid in
// every pool.
//
// usedEnd is one past the highest group ever handed out. Groups from usedEnd up have never been
// allocated since growth appended them, so they close the free list in ascending order: the links
// and pool entries below usedEnd describe the allocator and the tree completely.
#pragma once
#include <atomic>
#include <cstdint>

#include "storage/data_pool.h"
#include "storage/tree_root_grid.h"

namespace VELDRA_TRW {

template <typename Index, int N>
class TreeNodePool : public TarrowAllocator, public DataPoolManager<Index> {
  static_assert(N == 4, "node groups hold four children");

 public:
  std::uint32_t freeCount = 0;
  std::atomic<std::uint32_t> lock{0};
  std::uint32_t freeHead = NO_NODE;
  std::uint32_t freeTail = NO_NODE;
  TreeRootGrid* grids = nullptr;
  std::int32_t gridCapacity = 0;
  std::uint32_t* gridLinks = nullptr;
  std::int32_t gridFreeCount = 0;
  std::int32_t gridFreeHead = 0;
  Index usedEnd = 0;

  TreeNodePool() = default;
  virtual const char* name() const { return TarrowAllocator::name; }
  virtual ~TreeNodePool() {
    delete[] grids;
    delete[] gridLinks;
  }

  Index capacity() const { return this->size; }
  bool isUsedGroup(Index first) const { return prevLink(first) == USED_GROUP; }

  // Makes the node capacity at least `count` (rounded up to 1024), growing every registered pool.
  // On failure (kOutOfMemoryCode) the capacity, the free list and every pool's size are unchanged.
  void growTo(Index count) {
    const std::uint64_t need = roundUp(count, 1024) * 8;
    if (need <= capacityBytes) return;
    const std::uint64_t oldCapacityBytes = capacityBytes;
    commitAtLeast(need, 32);
    const auto newCapacity = static_cast<Index>(capacityBytes / 8);
    try {
      for (int i = 0; i < this->count; ++i) this->pools[i]->resize(newCapacity);
    } catch (...) {
      capacityBytes = oldCapacityBytes;
      throw;
    }
    for (Index g = this->size; g < newCapacity; g += 4) {
      prevLink(g) = freeTail;
      nextLink(g) = NO_NODE;
      if (freeTail != NO_NODE) nextLink(freeTail) = g;
      else freeHead = g;
      freeTail = g;
      freeCount += 4;
    }
    this->size = newCapacity;
  }

  Index allocateGroupLocked() {
    acquire();
    try {
      Index g = allocateGroup();
      releaseLock();
      return g;
    } catch (...) {
      releaseLock();
      throw;
    }
  }

  Index allocateGroup() {
    if (freeCount < 4) growTo(this->size == 0 ? 1024 : 2 * this->size);
    const Index h = freeHead;
    if (h == freeTail) freeTail = NO_NODE;
    const Index next = nextLink(h);
    prevLink(h) = USED_GROUP;
    freeHead = next;
    if (next != NO_NODE) prevLink(next) = NO_NODE;
    freeCount -= 4;
    if (h + 4 > usedEnd) usedEnd = h + 4;
    return h;
  }

  // First fit over the groups in index order; grows the capacity when no gap is large enough.
  Index allocateRun(Index n) {
    const Index m = static_cast<Index>(roundUp(n, 4));
    if (m == 0) return NO_NODE;
    if (freeCount < m) growTo(2 * m);
    Index start = NO_NODE;
    Index candidate = 0, run = 0;
    for (Index g = 0; g < this->size; g += 4) {
      if (prevLink(g) == USED_GROUP) {
        run = 0;
        candidate = g + 4;
        continue;
      }
      run += 4;
      if (run >= m) {
        start = candidate;
        break;
      }
    }
    if (start == NO_NODE) {
      start = this->size;
      growTo(this->size + m);
    }
    for (Index g = start; g < start + m; g += 4) unlink(g);
    if (start + m > usedEnd) usedEnd = start + m;
    return start;
  }

  void releaseGroupLocked(Index first) {
    if (freeCount >= this->size) return;
    acquire();
    pushFront(first);
    releaseLock();
  }

  // Returns a group without the lock; only while no other thread touches the allocator.
  void releaseGroupUnlocked(Index first) {
    if (freeCount >= this->size) return;
    pushFront(first);
  }

  // Returns a run of groups; it sits in ascending order at the front of the free list.
  void releaseRun(Index first, Index n) {
    if (n < 1) return;
    const Index groups = (n + 3) / 4;
    pushFront(first);
    Index previous = first;
    for (Index k = 1; k < groups; ++k) {
      const Index g = first + 4 * k;
      const Index after = nextLink(previous);
      prevLink(g) = previous;
      nextLink(g) = after;
      nextLink(previous) = g;
      if (after != NO_NODE) prevLink(after) = g;
      else freeTail = g;
      freeCount += 4;
      previous = g;
    }
  }

  int takeGridSlot() {
    if (gridFreeCount < 1) {
      const int grown = 2 * gridCapacity + 2;
      auto* newGrids = new TreeRootGrid[grown]();
      auto* newLinks = new std::uint32_t[grown];
      for (int s = 0; s < gridCapacity; ++s) {
        newGrids[s] = grids[s];
        newLinks[s] = gridLinks[s];
      }
      for (int s = gridCapacity; s < grown; ++s) newLinks[s] = static_cast<std::uint32_t>(s + 1);
      gridFreeHead = gridCapacity;
      gridFreeCount += grown - gridCapacity;
      delete[] grids;
      delete[] gridLinks;
      grids = newGrids;
      gridLinks = newLinks;
      gridCapacity = grown;
    }
    const int slot = gridFreeHead;
    gridFreeHead = static_cast<std::int32_t>(gridLinks[slot]);
    --gridFreeCount;
    gridLinks[slot] = NO_NODE;
    return slot;
  }

  void releaseGridSlot(int slot) {
    gridLinks[slot] = static_cast<std::uint32_t>(gridFreeHead);
    gridFreeHead = slot;
    ++gridFreeCount;
  }

  std::uint32_t& prevLink(Index first) const { return words()[2 * (first / 4)]; }
  std::uint32_t& nextLink(Index first) const { return words()[2 * (first / 4) + 1]; }

 private:
  std::uint32_t* words() const { return reinterpret_cast<std::uint32_t*>(rawData); }

  void acquire() {
    while (lock.exchange(1, std::memory_order_acquire) != 0) {
    }
  }
  void releaseLock() { lock.store(0, std::memory_order_release); }

  void pushFront(Index g) {
    if (freeHead != NO_NODE) prevLink(freeHead) = g;
    nextLink(g) = freeHead;
    prevLink(g) = NO_NODE;
    freeHead = g;
    if (freeTail == NO_NODE) freeTail = g;
    freeCount += 4;
  }

  void unlink(Index g) {
    const Index prev = prevLink(g), next = nextLink(g);
    if (freeHead == g) freeHead = next;
    if (freeTail == g) freeTail = prev;
    if (prev != NO_NODE) nextLink(prev) = next;
    if (next != NO_NODE) prevLink(next) = prev;
    prevLink(g) = USED_GROUP;
    freeCount -= 4;
  }
};

}  // namespace VELDRA_TRW
