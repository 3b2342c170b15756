// A copy of a session's selection that the library holds (a snapshot handle), owned by one Python
// object: freed by Release or when the object goes away, whichever comes first.
//
// The object may be collected on any thread while another one runs a long library call; it then must
// not wait for the library lock with the interpreter lock held, so it hands its handle to a list that
// the next library call frees.
#ifndef VELDRA_PYTHON_SNAPSHOT_H
#define VELDRA_PYTHON_SNAPSHOT_H

#include <atomic>
#include <cstdint>

namespace veldra_python {

class Snapshot {
 public:
  // handle: the library's, taken in the session with serial number `session` on a width x height
  // image; bytes: the memory it holds.
  Snapshot(unsigned long long handle, std::uint64_t session, int width, int height, long long bytes);
  ~Snapshot();
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;

  // Frees the library's copy now (waits for the library lock). Releasing twice is harmless.
  void Release();
  // The library's handle, 0 once released; read under the library lock to use it.
  unsigned long long handle() const { return handle_; }
  std::uint64_t session() const { return session_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Memory held by the library for this snapshot, 0 once released.
  long long bytes() const { return handle_ == 0 ? 0 : bytes_; }

 private:
  std::atomic<unsigned long long> handle_;
  std::uint64_t session_;
  int width_, height_;
  long long bytes_;
};

// Frees the snapshots whose objects went away while the library lock was taken. Call with the
// library lock held.
void FreeCollectedSnapshots();

}  // namespace veldra_python

#endif  // VELDRA_PYTHON_SNAPSHOT_H
