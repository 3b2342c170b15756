// One image's selection session over the library, without any Python in it: the Python module
// checks and converts its arguments, then calls these with the interpreter lock released.
//
// The library keeps one engine per process, so at most one Session is open at a time; every call
// into the library, from any session or thread, holds one process-wide lock. A method of a closed
// session throws SessionClosed; an open session's methods run the calls a host makes for the
// same user action and nothing else.
#ifndef VELDRA_PYTHON_SESSION_H
#define VELDRA_PYTHON_SESSION_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "image.h"
#include "quiet_stdout.h"
#include "selection_extras.h"
#include "snapshot.h"
#include "whole_image_field.h"

namespace veldra_python {

// A second session while one is open, or a call on a closed session.
struct SessionClosed : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A snapshot that cannot be restored here: released, or taken in another session.
struct SnapshotRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The library could not allocate memory for the call.
struct OutOfMemory : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The lock held during every library call.
std::mutex& LibraryMutex();

enum class Mode { Add, Subtract, Auto, Smooth };

// Brush values, already checked against the library's ranges.
struct Brush {
  int radius = 10, core = 30, edgeSnap = 75, smoothing = 100;
  int band = 10;  // width of the boundary band kept while the matting partition is on
};

struct Point {
  int x = 0, y = 0;
};

class Session {
 public:
  // Sets the engine up for image (every parameter at its default, band brush radius 5) and
  // computes its edge vector field. Throws SessionClosed when another session is open. Without
  // trace, the library's refinement trace lines (and anything else written to standard output
  // while a library call runs) are discarded.
  Session(const paint::RgbaImage& image, bool trace);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Releases the engine's image; later calls throw SessionClosed. Closing twice is harmless.
  void Close();
  bool closed() const;
  int width() const { return width_; }
  int height() const { return height_; }

  // mask: width x height bytes, rows packed; above 128 is selected.
  void Seed(std::vector<std::uint8_t> mask);
  void Clear();
  // One press of the mouse: a Step (Smoothen in Mode::Smooth) at every point over its brush box.
  void Stroke(Mode mode, const Brush& brush, const std::vector<Point>& points);
  // Line edits with the brush's hard core: a dot at the first point, then each segment. mode is
  // not Mode::Smooth.
  void Line(Mode mode, const Brush& brush, const std::vector<Point>& points);
  // Paints the boundary band for matting (a band of brush.band pixels), with the band brush's radius
  // set first when given.
  void Band(const Brush& brush, std::optional<float> mattingRadius, const std::vector<Point>& points);
  // The whole selection into out (width x height bytes): 255 inside, 128 in the band, 0 outside.
  void Mask(int band, std::uint8_t* out);
  // GetMattingMode at a pixel.
  int MattingMode(int x, int y);
  // Copies of the edge vector field's two components (width x height floats each).
  void EdgeSnapField(float* x, float* y);
  // Soft edges of the whole selection into out (width x height bytes): each pixel's share inside it,
  // the edge widened over feather pixels (0..VELDRA_EXTRAS::kMaxFeather) on either side.
  void Alpha(float feather, std::uint8_t* out);
  // The whole selection's boundary as closed rings, simplified to tolerance pixels (0: not at all),
  // with their SVG path data.
  paint::TracedSelection Paths(float tolerance);
  // A copy of the selection state, and putting one back. Restore throws SnapshotRefused for a
  // released snapshot or one of another session (whatever that session's image size).
  std::unique_ptr<Snapshot> TakeSnapshot();
  void Restore(const Snapshot& snapshot);

 private:
  // Runs f under the library lock, after checking that the session is open.
  template <typename F>
  auto Locked(F&& f) {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    FreeCollectedSnapshots();
    CheckOpen();
    const paint::QuietStdout quiet(!trace_);
    return f();
  }
  void CheckOpen() const;
  void CloseLocked();
  void ApplyBrush(const Brush& brush) const;

  int width_ = 0, height_ = 0;
  std::uint64_t serial_ = 0;  // tells the snapshots of this session from those of earlier ones
  bool open_ = false;
  bool trace_ = false;
  WholeImageField field_;
};

// ComputeEdgeSnapData on a (h + 24) x (w + 24) block of 4-byte pixels (rows packed), into w x h
// floats each; works with or without an open session.
void EdgeSnapOfBlock(const paint::RgbaImage& block, float* x, float* y);

}  // namespace veldra_python

#endif  // VELDRA_PYTHON_SESSION_H
