// Decodes a byte string into a session of exported calls, as a careless or hostile host might make
// them, and runs it: image sizes, parameters, seed masks, strokes of every mode, queries, band and
// regional calls, with sizes, rectangles, strides, coordinates and edge snap values that are often out
// of contract (ComputeEdgeSnapData itself keeps no state and has its own table of such calls). After
// every call the tree must be consistent (grid/tree_validity.h), and host buffers must be untouched outside
// the bytes a call may write. Shared by the libFuzzer target and the replay test, so a file that once
// crashed replays through exactly the same decoder.
//
// Input format: one byte picks the call (runCall), then its arguments in the order they are read. A
// range takes two little-endian bytes; most values take a selector byte first (0 mod 4: a "wild"
// value, one byte indexing a table of edge cases). New seeds: write a session by hand in this format,
// or keep what the fuzzer found (scripts/fuzz.sh leaves its corpus in build-fuzz/fuzz-corpus).
#pragma once
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <veldra/veldra.h>

#include "api/engine.h"
#include "grid/tree_validity.h"
#include "host_conventions.h"

namespace veldra_fuzz {

constexpr int kIntMax = std::numeric_limits<int>::max(), kIntMin = std::numeric_limits<int>::min();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Reads the input front to back; an exhausted input reads as zeros.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int pick(int n) { return byte() % n; }
  // lo ... hi inclusive, from two bytes: wide ranges are covered only in part.
  int in(int lo, int hi) {
    const int low = byte();
    return static_cast<int>(lo + (low | byte() << 8) % (static_cast<long long>(hi) - lo + 1));
  }
  int wild() {
    static const int kValues[] = {0,    1,     -1,      2,       255,     256,    257,        -256,   -385, 511,
                                  1024, 1250,  1251,    46341,   65536,   1 << 30, kIntMax, kIntMin, kIntMax - 1,
                                  kIntMin + 1};
    return kValues[pick(static_cast<int>(std::size(kValues)))];
  }
  float wildFloat() {
    static const float kValues[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-40f, 1e30f, -3e38f, kInf, -kInf, NAN, 1e9f};
    return kValues[pick(static_cast<int>(std::size(kValues)))];
  }
  // Mostly within lo ... hi, one time in four a wild value.
  int value(int lo, int hi) { return pick(4) == 0 ? wild() : in(lo, hi); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Forgets everything a previous session left in the library, as if it had just been loaded.
inline void resetLibrary() {
  VELDRA_CORE::LibraryState& lib = VELDRA_CORE::library();
  delete lib.engine;
  lib.engine = nullptr;
  for (auto& p : lib.parameters) p = 0;
  lib.regionalStroke = false;
}

// A zero-filled, read-only 4 GiB range that stands for the edge snap arrays of any rectangle too
// large to fill; untouched pages cost nothing.
inline const float* zeroFloats() {
  static void* block = mmap(nullptr, std::size_t{1} << 32, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                            -1, 0);
  return block == MAP_FAILED ? nullptr : static_cast<const float*>(block);
}

// Elements that h rows of w, `stride` apart, span (rows stored bottom-up for a negative stride), and
// the offset of the first row in that span.
inline long long spanOf(int w, int h, int stride) {
  return w <= 0 || h <= 0 ? 0 : static_cast<long long>(h - 1) * std::llabs(static_cast<long long>(stride)) + w;
}
inline long long firstRow(int h, int stride) {
  return stride < 0 && h > 1 ? static_cast<long long>(h - 1) * -static_cast<long long>(stride) : 0;
}
// Whether the element at `offset` from the first row belongs to the block.
inline bool inBlock(long long offset, int w, int h, int stride) {
  if (h == 1 || stride == 0) return offset >= 0 && offset < w;
  const long long a = std::llabs(static_cast<long long>(stride));
  const long long fromLowest = stride > 0 ? offset : offset + (h - 1) * a;
  return fromLowest >= 0 && fromLowest / a < h && fromLowest % a < w;
}
inline int saturate(long long v) { return static_cast<int>(std::clamp<long long>(v, kIntMin, kIntMax)); }

class ApiScript {
 public:
  // Runs the session (at most 96 calls); returns an empty string, or the first broken invariant.
  std::string run(const std::uint8_t* data, std::size_t size) {
    resetLibrary();
    ByteReader in(data, size);
    for (int call = 0; call < 96 && !in.empty() && problem_.empty(); ++call) {
      op_ = in.pick(18);
      runCall(in);
      checkTree();
    }
    resetLibrary();
    return problem_;
  }

 private:
  std::string problem_;
  int op_ = -1;
  bool failed_ = false;                         // the last call that reports success did not
  int discX_ = 100, discY_ = 100, discR_ = 60;  // the host picture: an orange disc on blue

  void fail(const std::string& what) {
    if (problem_.empty()) problem_ = "call kind " + std::to_string(op_) + ": " + what;
  }
  void report(bool ok) { failed_ = !ok; }
  static VELDRA_TRW::SLGrid2D* grid() { return VELDRA_CORE::currentGrid(); }
  static int width() { return grid() ? static_cast<int>(grid()->imageWidth) : 0; }
  static int height() { return grid() ? static_cast<int>(grid()->imageHeight) : 0; }

  // Node accounting holds only after calls that did not run out of memory (or were refused).
  void checkTree() {
    const std::string p = grid() ? VELDRA_TRW::TreeProblem(*grid(), !failed_) : "";
    if (!p.empty()) fail(p);
  }

  // A coordinate on an axis of `extent` pixels: mostly inside, often near the border, sometimes wild.
  static int coordinate(ByteReader& in, int extent) {
    const int kind = in.pick(4);
    if (kind == 0) return in.wild();
    if (kind == 1) {
      const int offset = in.in(-40, 40);
      return offset + (in.pick(2) ? extent : 0);
    }
    return in.in(0, std::max(extent, 1));
  }
  // Inside the image most of the time, otherwise crossing or missing it, or absurd.
  static veldra_host::PixelBox rectangle(ByteReader& in, int side) {
    const int kind = in.pick(4);
    if (kind == 0) return {in.wild(), in.wild(), in.wild(), in.wild()};
    if (kind == 1) return {coordinate(in, width()), coordinate(in, height()), in.in(-4, side), in.in(-4, side)};
    const int x = in.in(0, std::max(width() - 1, 0)), y = in.in(0, std::max(height() - 1, 0));
    return {x, y, std::min(in.in(0, side), width() - x), std::min(in.in(0, side), height() - y)};
  }
  // Packed rows mostly; overlapping or padded rows, bottom-up rows, or a wild stride.
  static int stride(ByteReader& in, int w) {
    const int kind = in.pick(5);
    if (kind == 0) return in.wild();
    if (kind == 1) return saturate(static_cast<long long>(w) + in.in(-8, 40));
    return kind == 2 ? saturate(-static_cast<long long>(w) - in.in(0, 8)) : w;
  }

  // The host picture's pixel (x, y), anywhere around the image.
  void colour(long long x, long long y, unsigned char* p) const {
    const long long dx = x - discX_, dy = y - discY_, r = discR_;
    const bool inside = std::llabs(dx) <= r && std::llabs(dy) <= r && dx * dx + dy * dy < r * r;
    p[0] = inside ? 220 : 40, p[1] = inside ? 150 : 70, p[2] = inside ? 30 : 150, p[3] = 255;
  }

  // A Step with edge snap arrays that cover the box (the host's duty): computed from the picture as a
  // host would, or hostile values; rows packed or stored bottom-up. Boxes too large to fill get zeros.
  void step(ByteReader& in, VELDRA::EDITMODE m, int x, int y, const veldra_host::PixelBox& b) {
    const bool hostile = in.pick(3) == 0;
    int stride = in.pick(3) == 0 && b.width > 0 ? -b.width : b.width;
    std::vector<float> fx, fy;
    const float *px = zeroFloats(), *py = px;
    if (b.width <= 0 || b.height <= 0) {
      stride = in.value(-2, 8);
    } else if (1LL * b.width * b.height > 360000) {
      stride = b.width;
    } else {
      fx.assign(static_cast<std::size_t>(b.width) * b.height, 0.0f);
      fy = fx;
      if (hostile) {
        std::fill(fx.begin(), fx.end(), in.wildFloat());
        std::fill(fy.begin(), fy.end(), in.wildFloat());
      } else {
        const long long bw = b.width + 24, pixels = bw * (b.height + 24);
        std::vector<unsigned char> block(static_cast<std::size_t>(pixels) * 4);
        for (long long i = 0; i < pixels; ++i)
          colour(static_cast<long long>(b.x) - 12 + i % bw, static_cast<long long>(b.y) - 12 + i / bw, &block[4 * i]);
        VELDRA::ComputeEdgeSnapData(b.width, b.height, block.data(), static_cast<int>(bw), fx.data(), b.width,
                                    fy.data(), b.width);
      }
      px = fx.data() + firstRow(b.height, stride);
      py = fy.data() + firstRow(b.height, stride);
    }
    const int band = in.value(0, 24);
    report(VELDRA::Step(m, band, x, y, b.x, b.y, b.width, b.height, const_cast<float*>(px), stride,
                        const_cast<float*>(py), stride));
  }

  // The brush's bounding box clipped to the image, as a host computes it, or any rectangle.
  static veldra_host::PixelBox brushBox(ByteReader& in, int x, int y) {
    if (in.pick(4) == 0) return rectangle(in, 700);
    int r = 0;
    VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &r);
    return veldra_host::BrushBox(x, y, r, width(), height());
  }
  static VELDRA::EDITMODE mode(ByteReader& in) {
    const int m = in.pick(8);
    return static_cast<VELDRA::EDITMODE>(m < 3 ? m : m < 7 ? m % 5 : in.wild());
  }

  // One event of a stroke: a step, a line segment from the previous point, or smoothing.
  void event(ByteReader& in, int kind, VELDRA::EDITMODE m, int x0, int y0, int x, int y) {
    if (kind == 1) return report(VELDRA::AddDeleteLine(m, x0, y0, x, y));
    const veldra_host::PixelBox b = brushBox(in, x, y);
    if (kind == 2) return report(VELDRA::Smoothen(x, y, b.x, b.y, b.width, b.height));
    step(in, m, x, y, b);
  }

  // A whole stroke along a straight path, the way brush events arrive from a host.
  void stroke(ByteReader& in) {
    const int kind = in.pick(4);  // steps, lines, smoothing, or the three mixed
    const VELDRA::EDITMODE m = mode(in);
    int x = coordinate(in, width()), y = coordinate(in, height());
    const int dx = in.in(-30, 30), dy = in.in(-30, 30), events = in.in(1, 8);
    VELDRA::MouseDown();
    for (int e = 0; e < events && problem_.empty(); ++e) {
      const int nx = saturate(0LL + x + dx), ny = saturate(0LL + y + dy);
      event(in, kind == 3 ? in.pick(3) : kind, m, x, y, nx, ny);
      checkTree();
      x = nx, y = ny;
    }
    if (in.pick(4) != 0) VELDRA::MouseUp();
  }

  void initSelection(ByteReader& in) {
    const veldra_host::PixelBox r = rectangle(in, 400);
    const int s = stride(in, r.width);
    const long long span = spanOf(r.width, r.height, s);
    std::vector<unsigned char> mask(static_cast<std::size_t>(std::clamp(span, 1LL, 1LL << 20)));
    const int pattern = in.pick(3), cx = in.in(0, 400), cy = in.in(0, 400), radius = in.in(0, 300);
    for (std::size_t i = 0; i < mask.size(); ++i) {
      const long long dx = s > 0 ? static_cast<long long>(i % s) - cx : 0;
      const long long dy = s > 0 ? static_cast<long long>(i / s) - cy : 0;
      const bool disc = dx * dx + dy * dy < 1LL * radius * radius;
      mask[i] = static_cast<unsigned char>(pattern == 0 ? 255u : pattern == 1 ? disc * 255u : (i * 2654435761u) >> 13);
    }
    // A buffer too small for the rectangle would be the host's fault, not the library's.
    unsigned char* p = span > static_cast<long long>(mask.size()) ? nullptr : mask.data() + firstRow(r.height, s);
    report(VELDRA::InitSelection(r.x, r.y, r.width, r.height, in.pick(16) == 0 ? nullptr : p, s));
  }

  // Only the bytes of the rectangle's pixels may change, and only to 0, 128 or 255.
  void getSelection(ByteReader& in) {
    const veldra_host::PixelBox r = rectangle(in, 512);
    const int s = stride(in, r.width);
    const long long span = spanOf(r.width, r.height, s), first = 64 + firstRow(r.height, s);
    if (span > (1 << 22)) return VELDRA::GetSelection(r.x, r.y, r.width, r.height, nullptr, s, 0.0f, 0.0f, 0);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(span) + 128, 0xA5);
    const float cx = static_cast<float>(coordinate(in, width())), cy = static_cast<float>(coordinate(in, height()));
    unsigned char* out = in.pick(16) ? buffer.data() + first : nullptr;
    VELDRA::GetSelection(r.x, r.y, r.width, r.height, out, s, cx, cy, in.value(0, 24));
    for (long long i = 0; i < static_cast<long long>(buffer.size()); ++i) {
      const unsigned char v = buffer[static_cast<std::size_t>(i)];
      if (v == 0xA5) continue;
      if (!inBlock(i - first, r.width, r.height, s)) return fail("GetSelection wrote outside its rectangle");
      if (v != 0 && v != 128 && v != 255) return fail("GetSelection wrote a byte other than 0, 128, 255");
    }
  }

  // Any size; strips, and images large enough for a coarser finest level, often. Then a new picture.
  void initialize(ByteReader& in) {
    static const int kRanges[4][4] = {{}, {0, 4000, 0, 24}, {1500, 6000, 1500, 4000}, {1, 700, 1, 700}};
    const int* range = kRanges[in.pick(4)];
    const int w = range == kRanges[0] ? in.wild() : in.in(range[0], range[1]);
    const int h = range == kRanges[0] ? in.wild() : in.in(range[2], range[3]);
    if (op_ == 0) report(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, w, h, in.pick(6) == 0));
    else VELDRA::InitializeImage(w, h);
    discX_ = in.in(-50, std::max(width(), 1) + 50), discY_ = in.in(-50, std::max(height(), 1) + 50);
    discR_ = in.in(2, 400);
  }

  void runCall(ByteReader& in) {
    const int W = width(), H = height();
    const auto parameter = [&in] { return static_cast<VELDRA::PARAM>(in.pick(9) - 2); };  // and a few more
    switch (op_) {
      case 0:
      case 1: return initialize(in);
      case 2: {
        const VELDRA::PARAM p = parameter();
        VELDRA::SetParameter(p, in.value(-200, 1400));
        break;
      }
      case 3: return VELDRA::setMattingBrushRadius(in.pick(3) ? static_cast<float>(in.in(0, 60)) : in.wildFloat());
      case 4: return VELDRA::Deselect();
      case 5: return initSelection(in);
      case 6: return report(VELDRA::RefineSelection(in.in(-2, 3)));
      case 7: return getSelection(in);
      case 8: {
        const int kind = in.pick(3);
        const VELDRA::EDITMODE m = mode(in);
        const int x0 = coordinate(in, W), y0 = coordinate(in, H), x1 = coordinate(in, W), y1 = coordinate(in, H);
        return event(in, kind, m, x0, y0, x1, y1);
      }
      case 9: return VELDRA::MouseDown();
      case 10: return VELDRA::MouseUp();
      case 11: {
        const int x = coordinate(in, W), y = coordinate(in, H);
        VELDRA::GetMattingMode(x, y);
        VELDRA::CheckCircleRegionIntersection(x, y, in.value(0, 300));
        break;
      }
      case 12: return VELDRA::enableRLS(in.value(0, 24));
      case 13: return VELDRA::disableRLS();
      default: return stroke(in);
    }
  }
};

}  // namespace veldra_fuzz
