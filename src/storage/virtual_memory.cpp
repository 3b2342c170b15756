// Address space reservation, commit and release on POSIX systems (mmap / mprotect / munmap).
#include "storage/virtual_memory.h"

#include <sys/mman.h>

namespace VELDRA_TRW {

void* reserveAddressSpace(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool commitPrefix(void* base, std::size_t bytes) {
  if (bytes == 0) return true;
  if (base == nullptr) return false;
  return mprotect(base, bytes, PROT_READ | PROT_WRITE) == 0;
}

void releaseAddressSpace(void* base, std::size_t bytes) {
  if (base != nullptr && bytes != 0) munmap(base, bytes);
}

}  // namespace VELDRA_TRW
