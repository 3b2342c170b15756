// The library calls behind each user action of a session.
#include "session.h"

#include <veldra/veldra.h>
#include <veldra/veldra_extras.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "host_conventions.h"

namespace veldra_python {
namespace {

// The one open session, and the serial number of the last session opened; read and written under
// the library lock.
const Session* openSession = nullptr;
std::uint64_t lastSerial = 0;

VELDRA::EDITMODE EditMode(Mode mode) {
  switch (mode) {
    case Mode::Subtract: return VELDRA::EDITMODE_SUBTRACT;
    case Mode::Auto: return VELDRA::EDITMODE_AUTO;
    case Mode::Smooth: return VELDRA::EDITMODE_SMOOTH;
    default: return VELDRA::EDITMODE_ADD;
  }
}

// Ends the stroke and reports the point at which the library ran out of memory.
[[noreturn]] void FailStroke(const char* what, std::size_t point) {
  VELDRA::MouseUp();
  throw OutOfMemory(std::string("the library ran out of memory during the ") + what + " at point " +
                    std::to_string(point));
}

}  // namespace

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

Session::Session(const paint::RgbaImage& image, bool trace)
    : width_(image.width), height_(image.height), trace_(trace) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (openSession != nullptr)
    throw SessionClosed("another veldra.Session is open; the library keeps one selection per process, so close "
                        "it first (close() or a with block)");
  if (!field_.Compute(image)) throw OutOfMemory("the library could not allocate the edge snap work images");
  veldra_host::SetDefaultParameters();
  if (!VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, width_, height_, false))
    throw OutOfMemory("the library could not set up a " + std::to_string(width_) + "x" + std::to_string(height_) +
                      " image");
  // The engine keeps the band brush radius across images; a new session starts from the default.
  VELDRA::setMattingBrushRadius(veldra_host::kDefaultMattingRadius);
  open_ = true;
  openSession = this;
  serial_ = ++lastSerial;
}

Session::~Session() { Close(); }

void Session::Close() {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  FreeCollectedSnapshots();
  CloseLocked();
}

void Session::CloseLocked() {
  if (!open_) return;
  // A 1 x 1 grid, released at once: the engine gives back the image's memory.
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, 1, 1, true);
  field_ = WholeImageField();
  open_ = false;
  openSession = nullptr;
}

bool Session::closed() const {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  return !open_;
}

void Session::CheckOpen() const {
  if (!open_) throw SessionClosed("this veldra.Session is closed");
}

void Session::ApplyBrush(const Brush& brush) const {
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, brush.radius);
  VELDRA::SetParameter(VELDRA::PARAM_CORE, brush.core);
  VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, brush.edgeSnap);
  VELDRA::SetParameter(VELDRA::PARAM_SMOOTHING, brush.smoothing);
}

void Session::Seed(std::vector<std::uint8_t> mask) {
  Locked([&] {
    if (!VELDRA::InitSelection(0, 0, width_, height_, mask.data(), width_))
      throw OutOfMemory("the library ran out of memory while seeding the selection");
  });
}

void Session::Clear() {
  Locked([] { VELDRA::Deselect(); });
}

void Session::Stroke(Mode mode, const Brush& brush, const std::vector<Point>& points) {
  Locked([&] {
    ApplyBrush(brush);
    VELDRA::MouseDown();
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Point p = points[i];
      const veldra_host::PixelBox box = veldra_host::BrushBox(p.x, p.y, brush.radius, width_, height_);
      if (box.empty()) continue;  // the brush does not reach the image
      const bool ok = mode == Mode::Smooth
                          ? VELDRA::Smoothen(p.x, p.y, box.x, box.y, box.width, box.height)
                          : VELDRA::Step(EditMode(mode), brush.band, p.x, p.y, box.x, box.y, box.width, box.height,
                                         field_.x(box), width_, field_.y(box), width_);
      if (!ok) FailStroke("stroke", i);
    }
    VELDRA::MouseUp();
  });
}

void Session::Line(Mode mode, const Brush& brush, const std::vector<Point>& points) {
  Locked([&] {
    ApplyBrush(brush);
    VELDRA::MouseDown();
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Point from = points[i == 0 ? 0 : i - 1], to = points[i];
      if (!VELDRA::AddDeleteLine(EditMode(mode), from.x, from.y, to.x, to.y)) FailStroke("line", i);
    }
    VELDRA::MouseUp();
  });
}

void Session::Band(const Brush& brush, std::optional<float> mattingRadius, const std::vector<Point>& points) {
  Locked([&] {
    ApplyBrush(brush);
    VELDRA::MouseDown();
    if (mattingRadius) VELDRA::setMattingBrushRadius(*mattingRadius);
    VELDRA::enableRLS(brush.band);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Point p = points[i];
      const veldra_host::PixelBox box = veldra_host::BrushBox(p.x, p.y, brush.radius, width_, height_);
      if (box.empty()) continue;
      if (!VELDRA::Step(VELDRA::EDITMODE_ADD, brush.band, p.x, p.y, box.x, box.y, box.width, box.height,
                        field_.x(box), width_, field_.y(box), width_))
        FailStroke("band stroke", i);
    }
    VELDRA::MouseUp();
  });
}

void Session::Mask(int band, std::uint8_t* out) {
  Locked([&] { veldra_host::ReadWholeSelection(width_, height_, band, out, width_); });
}

int Session::MattingMode(int x, int y) {
  return Locked([&] { return static_cast<int>(VELDRA::GetMattingMode(x, y)); });
}

void Session::EdgeSnapField(float* x, float* y) {
  Locked([&] {
    std::copy(field_.x().begin(), field_.x().end(), x);
    std::copy(field_.y().begin(), field_.y().end(), y);
  });
}

void Session::Alpha(float feather, std::uint8_t* out) {
  Locked([&] {
    if (!VELDRA_EXTRAS::GetSelectionAlpha(0, 0, width_, height_, out, width_, feather))
      throw std::runtime_error("the library refused the alpha read-out");
  });
}

paint::TracedSelection Session::Paths(float tolerance) {
  return Locked([&] {
    paint::TracedSelection traced;
    std::string error;
    if (!paint::TraceSelection(width_, height_, tolerance, &traced, &error)) throw OutOfMemory(error);
    return traced;
  });
}

std::unique_ptr<Snapshot> Session::TakeSnapshot() {
  return Locked([&] {
    const VELDRA_EXTRAS::SnapshotHandle handle = VELDRA_EXTRAS::TakeSnapshot();
    if (handle == 0) throw OutOfMemory("the library ran out of memory while taking a snapshot");
    return std::make_unique<Snapshot>(handle, serial_, width_, height_, VELDRA_EXTRAS::SnapshotBytes(handle));
  });
}

void Session::Restore(const Snapshot& snapshot) {
  Locked([&] {
    if (snapshot.session() != serial_)
      throw SnapshotRefused("this snapshot was taken in another veldra.Session (of a " +
                            std::to_string(snapshot.width()) + "x" + std::to_string(snapshot.height()) +
                            " image); a snapshot restores only into the session that took it");
    if (snapshot.handle() == 0) throw SnapshotRefused("this snapshot was released");
    if (!VELDRA_EXTRAS::RestoreSnapshot(snapshot.handle()))
      throw OutOfMemory("the library ran out of memory while restoring a snapshot");
  });
}

void EdgeSnapOfBlock(const paint::RgbaImage& block, float* x, float* y) {
  const int w = block.width - 2 * veldra_host::kSnapMargin, h = block.height - 2 * veldra_host::kSnapMargin;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  VELDRA::ComputeEdgeSnapData(w, h, const_cast<std::uint8_t*>(block.pixels.data()), block.width, x, w, y, w);
}

}  // namespace veldra_python
