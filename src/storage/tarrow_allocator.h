// One reserved address range whose prefix is committed on demand. The data pointer is stable while the
// range grows in place; only when the reservation is exhausted does a new range (eight times the need,
// in 1 GiB units) get reserved and the committed contents copied, which moves the data.
#pragma once
#include <cstdint>
#include <cstring>

#include "storage/virtual_memory.h"

namespace VELDRA_TRW {

// Thrown (as a plain int) when address space cannot be reserved or committed.
inline constexpr int kOutOfMemoryCode = 1;

inline constexpr std::uint64_t kCommitStep = 1048576ull;       // commit granularity: 1 MiB
inline constexpr std::uint64_t kReserveStep = 1073741824ull;   // reservation granularity: 1 GiB
inline constexpr std::uint64_t kReserveSlack = 512;            // room for aligning the data start

inline std::uint64_t roundUp(std::uint64_t v, std::uint64_t step) { return (v + step - 1) / step * step; }

class TarrowAllocator {
 public:
  std::uint64_t reservedBytes = 0;
  std::uint64_t committedBytes = 0;
  std::int32_t alignOffset = 0;
  std::uint64_t capacityBytes = 0;
  char name[24] = {};
  unsigned char* base = nullptr;
  unsigned char* rawData = nullptr;  // base + alignOffset

  TarrowAllocator() = default;
  TarrowAllocator(const TarrowAllocator&) = delete;
  TarrowAllocator& operator=(const TarrowAllocator&) = delete;
  ~TarrowAllocator() { releaseBlock(); }

  void setName(const char* text) {
    std::memset(name, 0, sizeof name);
    if (text != nullptr) std::memcpy(name, text, strnlen(text, 16));
  }

  // Makes the reservation at least `bytes` + 512. Moves committed contents when a new range is taken.
  // Returns false (leaving the old block untouched) when the system refuses the reservation.
  bool reserveBlock(std::uint64_t bytes) {
    const std::uint64_t total = bytes + kReserveSlack;
    if (reservedBytes >= total) return true;
    auto* fresh = static_cast<unsigned char*>(reserveAddressSpace(total));
    if (fresh == nullptr) return false;
    const auto freshOffset = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(fresh) % 512);
    if (base != nullptr) {
      if (!commitPrefix(fresh, committedBytes)) {
        releaseAddressSpace(fresh, total);
        return false;
      }
      std::memcpy(fresh + freshOffset, rawData, committedBytes - static_cast<std::uint64_t>(alignOffset));
      releaseAddressSpace(base, reservedBytes);
    }
    base = fresh;
    alignOffset = freshOffset;
    rawData = base + alignOffset;
    reservedBytes = total;
    return true;
  }

  // Commits at least `need` bytes (in 1 MiB steps), reserving anew when the range is too small, and
  // sets the usable capacity rounded down to `granularity`. Throws kOutOfMemoryCode on failure.
  void commitAtLeast(std::uint64_t need, std::uint64_t granularity) {
    const std::uint64_t commit = roundUp(need, kCommitStep);
    if (commit >= reservedBytes - static_cast<std::uint64_t>(alignOffset)) {
      if (!reserveBlock(roundUp(8 * commit, kReserveStep))) throw kOutOfMemoryCode;
    }
    if (!commitPrefix(base, commit)) throw kOutOfMemoryCode;
    committedBytes = commit;
    capacityBytes = (commit - static_cast<std::uint64_t>(alignOffset)) / granularity * granularity;
  }

  void releaseBlock() {
    releaseAddressSpace(base, reservedBytes);
    reservedBytes = committedBytes = capacityBytes = 0;
    alignOffset = 0;
    base = rawData = nullptr;
  }
};

}  // namespace VELDRA_TRW
