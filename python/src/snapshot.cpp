// Ownership of the library's snapshot handles by Python objects.
#include "snapshot.h"

#include <veldra/veldra_extras.h>

#include <mutex>
#include <vector>

#include "session.h"

namespace veldra_python {
namespace {

// Handles of collected snapshots not yet freed, and the lock guarding them (never held while waiting
// for another lock).
std::mutex& CollectedMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<unsigned long long>& Collected() {
  static std::vector<unsigned long long> handles;
  return handles;
}

}  // namespace

Snapshot::Snapshot(unsigned long long handle, std::uint64_t session, int width, int height, long long bytes)
    : handle_(handle), session_(session), width_(width), height_(height), bytes_(bytes) {}

Snapshot::~Snapshot() {
  const unsigned long long handle = handle_.exchange(0);
  if (handle == 0) return;
  std::unique_lock<std::mutex> library(LibraryMutex(), std::try_to_lock);
  if (library) {
    VELDRA_EXTRAS::ReleaseSnapshot(handle);
    return;
  }
  std::lock_guard<std::mutex> lock(CollectedMutex());
  Collected().push_back(handle);
}

void Snapshot::Release() {
  std::lock_guard<std::mutex> library(LibraryMutex());
  VELDRA_EXTRAS::ReleaseSnapshot(handle_.exchange(0));  // the library ignores handle 0
}

void FreeCollectedSnapshots() {
  std::lock_guard<std::mutex> lock(CollectedMutex());
  for (const unsigned long long handle : Collected()) VELDRA_EXTRAS::ReleaseSnapshot(handle);
  Collected().clear();
}

}  // namespace veldra_python
