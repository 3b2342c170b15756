// Decodes a byte string into a session of exported calls, as a careless or hostile host might make
// them, and runs it: image sizes, parameters, masks, strokes of every mode, queries, band and
// regional calls, with sizes, rectangles, strides, coordinates and edge-snap values that are often
// out of contract. After every call the tree must be consistent (tree_checks.h), and the host
// buffers must be untouched outside the bytes a call may write. Shared by the libFuzzer target and
// the replay test, so a file that once crashed replays through exactly the same decoder.
#pragma once
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <veldra/veldra.h>

#include "api/engine.h"
#include "fuzz/tree_checks.h"

namespace veldra_fuzz {

// Reads the input front to back; an exhausted input reads as zeros.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(u16()) | (static_cast<std::uint32_t>(u16()) << 16); }
  int pick(int n) { return byte() % n; }
  bool flag() { return (byte() & 1) != 0; }
  // lo ... hi inclusive (hi >= lo), from two bytes: wide ranges are covered only in part.
  int intIn(int lo, int hi) {
    const long long span = static_cast<long long>(hi) - lo + 1;
    return static_cast<int>(lo + static_cast<long long>(u16()) % span);
  }

  int interestingInt() {
    static const int kValues[] = {0, 1, -1, 2, 3, 4, 255, 256, 257, -255, -256, -384, -385, 511, 512, 1024,
                                  1250, 1251, 46340, 46341, 65535, 65536, 1 << 24, -(1 << 24), 1 << 30,
                                  std::numeric_limits<int>::max(), std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max() - 1, std::numeric_limits<int>::min() + 1};
    return kValues[pick(static_cast<int>(sizeof kValues / sizeof kValues[0]))];
  }

  float interestingFloat() {
    static const float kValues[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-40f, -1e-40f, 1e30f, -1e30f, 3e38f,
                                    -3e38f, std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::quiet_NaN(), 1250.0f, 5000.0f, 1e9f};
    return kValues[pick(static_cast<int>(sizeof kValues / sizeof kValues[0]))];
  }

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

// A zero-filled, read-only range large enough to stand for the edge-snap arrays of any rectangle the
// decoder makes; untouched pages cost nothing.
inline const float* zeroFloats(std::size_t count) {
  static constexpr std::size_t kBytes = std::size_t{1} << 32;
  static void* block = mmap(nullptr, kBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED || count * sizeof(float) > kBytes) return nullptr;
  return static_cast<const float*>(block);
}

class ApiScript {
 public:
  static constexpr int kMaxCalls = 96;
  bool trace = false;  // prints every call's kind and duration to stderr

  // Runs the session; returns an empty string, or the first broken invariant.
  std::string run(const std::uint8_t* data, std::size_t size) {
    resetLibrary();
    ByteReader in(data, size);
    for (int call = 0; call < kMaxCalls && !in.empty() && problem_.empty(); ++call) {
      const int op = in.pick(23);
      lastCall_ = op;
      const auto start = std::chrono::steady_clock::now();
      runCall(in, op);
      if (mayChangeTree(op)) checkTree();
      if (trace)
        std::fprintf(stderr, "call %2d kind %2d: %8.2f ms, %u nodes used\n", call, op,
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                     grid() ? grid()->nodes.capacity() - grid()->nodes.freeCount : 0u);
    }
    resetLibrary();
    return problem_;
  }

 private:
  std::string problem_;
  int lastCall_ = -1;
  bool lastCallFailed_ = false;

  void fail(const std::string& what) {
    if (problem_.empty()) problem_ = "call kind " + std::to_string(lastCall_) + ": " + what;
  }

  static VELDRA_TRW::SLGrid2D* grid() { return VELDRA_CORE::currentGrid(); }
  static int imageWidth() { return grid() ? static_cast<int>(grid()->imageWidth) : 0; }
  static int imageHeight() { return grid() ? static_cast<int>(grid()->imageHeight) : 0; }

  // Parameter calls, queries and edge-snap computations only read the tree.
  static bool mayChangeTree(int op) {
    return op <= 1 || op == 4 || op == 5 || op == 6 || op == 7 || (op >= 10 && op <= 12) || op == 18 || op == 19 ||
           op >= 22;
  }

  void checkTree() {
    VELDRA_TRW::SLGrid2D* g = grid();
    if (g == nullptr) return;
    const std::string p = treeProblem(*g, !lastCallFailed_);
    if (!p.empty()) fail(p);
    lastCallFailed_ = false;
  }

  // ---- argument decoders ----

  void imageSize(ByteReader& in, int& w, int& h) {
    switch (in.pick(10)) {
      case 0: w = in.interestingInt(); h = in.interestingInt(); break;
      case 1: w = in.intIn(0, 4000); h = in.intIn(0, 24); break;  // a strip
      case 2: w = in.intIn(1500, 6000); h = in.intIn(1500, 4000); break;  // coarser finest level
      case 3: w = in.intIn(1, 700); h = in.intIn(1, 700); break;
      default: w = in.intIn(1, 300); h = in.intIn(1, 300); break;
    }
  }

  // A coordinate on an axis of `extent` pixels: mostly inside, often near the border, sometimes wild.
  int coordinate(ByteReader& in, int extent) {
    switch (in.pick(8)) {
      case 0: return in.interestingInt();
      case 1: return in.intIn(-600, 600) + (in.flag() ? extent : 0);
      case 2: return in.intIn(-40, 40) + (in.flag() ? extent : 0);
      default: return in.intIn(0, std::max(extent, 1));
    }
  }

  struct Rect {
    int x, y, w, h;
  };

  // A rectangle inside the image most of the time, otherwise crossing or missing it, or absurd.
  Rect rectangle(ByteReader& in, int maxSide) {
    const int W = imageWidth(), H = imageHeight();
    Rect r{};
    switch (in.pick(6)) {
      case 0:
        r = Rect{in.interestingInt(), in.interestingInt(), in.interestingInt(), in.interestingInt()};
        break;
      case 1:
        r = Rect{coordinate(in, W), coordinate(in, H), in.intIn(-4, maxSide), in.intIn(-4, maxSide)};
        break;
      default: {
        r.x = in.intIn(0, std::max(W - 1, 0));
        r.y = in.intIn(0, std::max(H - 1, 0));
        r.w = std::min(in.intIn(0, maxSide), std::max(W - r.x, 0));
        r.h = std::min(in.intIn(0, maxSide), std::max(H - r.y, 0));
      }
    }
    return r;
  }

  // Elements that h rows of w elements, `stride` apart, span in memory (rows stored bottom-up for a
  // negative stride), and where the first row lies in that span.
  static long long bufferBytes(int w, int h, int stride) {
    if (w <= 0 || h <= 0) return 0;
    return static_cast<long long>(h - 1) * std::llabs(static_cast<long long>(stride)) + w;
  }
  static long long firstRowOffset(int h, int stride) {
    return stride < 0 && h > 1 ? static_cast<long long>(h - 1) * -static_cast<long long>(stride) : 0;
  }
  // Whether the element at `offset` from the first row belongs to the block.
  static bool inBlock(long long offset, int w, int h, int stride) {
    if (h == 1 || stride == 0) return offset >= 0 && offset < w;
    const long long a = std::llabs(static_cast<long long>(stride));
    const long long fromLowest = stride > 0 ? offset : offset + static_cast<long long>(h - 1) * a;
    return fromLowest >= 0 && fromLowest / a < h && fromLowest % a < w;
  }

  static int saturate(long long v) {
    return static_cast<int>(std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  }

  int stride(ByteReader& in, int w) {
    switch (in.pick(7)) {
      case 0: return in.interestingInt();
      case 1: return saturate(static_cast<long long>(w) - in.intIn(1, 8));
      case 2: return saturate(static_cast<long long>(w) + in.intIn(1, 40));
      case 3: return saturate(-static_cast<long long>(w) - in.intIn(0, 8));  // stored bottom-up
      default: return w;
    }
  }

  // ---- host scene and edge-snap data ----

  // Up to three discs over a background; colour of pixel (x, y).
  struct Scene {
    int cx[3], cy[3], r[3];
    int count;
    // Pixel (x, y), which may lie anywhere around the image: coordinates are taken in 64 bits.
    void colour(long long x, long long y, unsigned char* p) const {
      p[0] = 40;
      p[1] = 70;
      p[2] = 150;
      p[3] = 255;
      for (int k = 0; k < count; ++k) {
        const long long dx = x - cx[k], dy = y - cy[k];
        // Discs are at most 400 pixels across: farther offsets are outside, and their squares could
        // overflow even in 64 bits.
        if (dx < -r[k] || dx > r[k] || dy < -r[k] || dy > r[k]) continue;
        if (dx * dx + dy * dy < static_cast<long long>(r[k]) * r[k]) {
          p[0] = static_cast<unsigned char>(200 - 60 * k);
          p[1] = static_cast<unsigned char>(190 + 20 * k);
          p[2] = static_cast<unsigned char>(30 + 70 * k);
        }
      }
    }
  };
  Scene scene_{{100, 300, 500}, {100, 250, 400}, {60, 90, 40}, 2};

  void newScene(ByteReader& in) {
    const int W = std::max(imageWidth(), 1), H = std::max(imageHeight(), 1);
    scene_.count = in.intIn(0, 3);
    for (int k = 0; k < 3; ++k) {
      scene_.cx[k] = in.intIn(-50, W + 50);
      scene_.cy[k] = in.intIn(-50, H + 50);
      scene_.r[k] = in.intIn(2, 400);
    }
  }

  // Edge-snap arrays for a w x h rectangle at (x, y), computed from the scene as a host would.
  static void sceneSnap(const Scene& scene, int x, int y, int w, int h, std::vector<float>& sx,
                        std::vector<float>& sy) {
    const int bw = w + 24, bh = h + 24;
    std::vector<unsigned char> block(static_cast<std::size_t>(bw) * bh * 4);
    for (int r = 0; r < bh; ++r)
      for (int c = 0; c < bw; ++c)
        scene.colour(static_cast<long long>(x) - 12 + c, static_cast<long long>(y) - 12 + r,
                     &block[(static_cast<std::size_t>(r) * bw + c) * 4]);
    VELDRA::ComputeEdgeSnapData(w, h, block.data(), bw, sx.data(), w, sy.data(), w);
  }

  // Storage for the edge-snap arrays of one event; pointers stay valid until the next event.
  struct SnapArrays {
    std::vector<float> x, y;
    const float* px = nullptr;
    const float* py = nullptr;
    int strideX = 0, strideY = 0;
  };

  // Arrays that cover the rectangle (the host's duty), filled with real, random or hostile values.
  void snapArrays(ByteReader& in, const Rect& box, SnapArrays& s) {
    const int fill = in.pick(8);
    if (box.w <= 0 || box.h <= 0) {
      s.x.assign(1, 0.0f);
      s.y.assign(1, 0.0f);
      s.px = s.x.data();
      s.py = s.y.data();
      s.strideX = s.strideY = in.flag() ? box.w : in.interestingInt();
      return;
    }
    const long long pixels = static_cast<long long>(box.w) * box.h;
    if (pixels > 600 * 600 || fill == 0) {
      // Too large to fill (or chosen so): the shared zero range stands for the arrays.
      s.px = s.py = zeroFloats(static_cast<std::size_t>(pixels));
      s.strideX = s.strideY = box.w;
      return;  // beyond even that: null arrays, which the library refuses
    }
    // Rows apart, sharing floats (0 repeats one row) or stored bottom-up.
    const auto arrayStride = [&] {
      switch (in.pick(6)) {
        case 0: return in.intIn(0, box.w);
        case 1: return -box.w - in.intIn(0, 5);
        default: return box.w + (in.flag() ? 0 : in.intIn(0, 5));
      }
    };
    s.strideX = arrayStride();
    s.strideY = arrayStride();
    s.x.assign(static_cast<std::size_t>(bufferBytes(box.w, box.h, s.strideX)), 0.0f);
    s.y.assign(static_cast<std::size_t>(bufferBytes(box.w, box.h, s.strideY)), 0.0f);
    switch (fill) {
      case 1:
      case 2:
      case 3:
        if (s.strideX == box.w && s.strideY == box.w && pixels <= 400 * 400) {
          sceneSnap(scene_, box.x, box.y, box.w, box.h, s.x, s.y);
          break;
        }
        [[fallthrough]];
      case 4: {
        std::uint32_t state = in.u32() | 1u;
        for (std::vector<float>* v : {&s.x, &s.y})
          for (float& f : *v) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            f = static_cast<float>(static_cast<int>(state % 2001) - 1000) * 0.001f;
          }
        break;
      }
      case 5: {
        const float a = in.interestingFloat(), b = in.interestingFloat();
        std::fill(s.x.begin(), s.x.end(), a);
        std::fill(s.y.begin(), s.y.end(), b);
        break;
      }
      default: {
        // A few hostile values sprinkled into otherwise ordinary data.
        for (int k = in.intIn(1, 6); k > 0; --k) {
          std::vector<float>& v = in.flag() ? s.x : s.y;
          v[static_cast<std::size_t>(in.u32()) % v.size()] = in.interestingFloat();
        }
      }
    }
    s.px = s.x.data() + firstRowOffset(box.h, s.strideX);
    s.py = s.y.data() + firstRowOffset(box.h, s.strideY);
  }

  // The brush's bounding box clipped to the image, as a host computes it.
  Rect brushBox(int x, int y) const {
    int radius = 0;
    VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &radius);
    const long long x0 = std::max<long long>(0, static_cast<long long>(x) - radius);
    const long long y0 = std::max<long long>(0, static_cast<long long>(y) - radius);
    const long long x1 = std::min<long long>(imageWidth(), static_cast<long long>(x) + radius + 1);
    const long long y1 = std::min<long long>(imageHeight(), static_cast<long long>(y) + radius + 1);
    if (x1 <= x0 || y1 <= y0) return Rect{0, 0, 0, 0};
    return Rect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
  }

  Rect stepBox(ByteReader& in, int x, int y) {
    if (in.pick(4) != 0) return brushBox(x, y);
    return rectangle(in, 700);
  }

  VELDRA::EDITMODE mode(ByteReader& in) {
    const int m = in.pick(12);
    if (m < 5) return static_cast<VELDRA::EDITMODE>(m);
    if (m < 10) return static_cast<VELDRA::EDITMODE>(m % 3);
    return static_cast<VELDRA::EDITMODE>(in.interestingInt());
  }

  int band(ByteReader& in) { return in.pick(4) == 0 ? in.interestingInt() : in.intIn(0, 24); }

  // ---- the calls ----

  void step(ByteReader& in, VELDRA::EDITMODE m, int x, int y) {
    const Rect box = stepBox(in, x, y);
    SnapArrays s;
    snapArrays(in, box, s);
    const int b = band(in);
    lastCallFailed_ = !VELDRA::Step(m, b, x, y, box.x, box.y, box.w, box.h, const_cast<float*>(s.px), s.strideX,
                                    const_cast<float*>(s.py), s.strideY);
  }

  void smoothen(ByteReader& in, int x, int y) {
    const Rect box = stepBox(in, x, y);
    lastCallFailed_ = !VELDRA::Smoothen(x, y, box.x, box.y, box.w, box.h);
  }

  // A whole stroke along a straight path, the way brush events arrive from a host.
  void stroke(ByteReader& in) {
    const int kind = in.pick(4);  // Step, AddDeleteLine, Smoothen, or the three mixed
    const VELDRA::EDITMODE m = mode(in);
    int x = coordinate(in, imageWidth()), y = coordinate(in, imageHeight());
    const int dx = in.intIn(-30, 30), dy = in.intIn(-30, 30);
    const int events = in.intIn(1, 8);
    VELDRA::MouseDown();
    checkTree();
    for (int e = 0; e < events && problem_.empty(); ++e) {
      const int nx = saturate(static_cast<long long>(x) + dx), ny = saturate(static_cast<long long>(y) + dy);
      const int k = kind == 3 ? in.pick(3) : kind;
      if (k == 0) step(in, m, nx, ny);
      else if (k == 1) lastCallFailed_ = !VELDRA::AddDeleteLine(m, x, y, nx, ny);
      else smoothen(in, nx, ny);
      checkTree();
      x = nx;
      y = ny;
    }
    if (in.pick(4) != 0) VELDRA::MouseUp();
  }

  void initSelection(ByteReader& in) {
    const Rect r = rectangle(in, 400);
    const int s = stride(in, r.w);
    const long long bytes = bufferBytes(r.w, r.h, s);
    std::vector<unsigned char> mask(static_cast<std::size_t>(std::clamp<long long>(bytes, 1, 1 << 20)));
    const int pattern = in.pick(5);
    const int cx = in.intIn(0, std::max(r.w, 1)), cy = in.intIn(0, std::max(r.h, 1));
    const long long rr = in.intIn(0, 300);
    std::uint32_t state = in.u32() | 1u;
    for (std::size_t i = 0; i < mask.size(); ++i) {
      const int sx = s > 0 ? static_cast<int>(i % static_cast<std::size_t>(s)) : static_cast<int>(i);
      const int sy = s > 0 ? static_cast<int>(i / static_cast<std::size_t>(s)) : 0;
      switch (pattern) {
        case 0: mask[i] = 255; break;
        case 1: mask[i] = ((sx - cx) * 1LL * (sx - cx) + (sy - cy) * 1LL * (sy - cy) < rr * rr) ? 255 : 0; break;
        case 2: mask[i] = ((sx / 7 + sy / 5) & 1) ? 200 : 3; break;
        case 3:
          state ^= state << 13;
          state ^= state >> 17;
          state ^= state << 5;
          mask[i] = static_cast<unsigned char>(state);
          break;
        default: mask[i] = static_cast<unsigned char>(in.byte()); break;
      }
    }
    // A buffer too small for the claimed rectangle would be the host's fault, not the library's.
    unsigned char* ptr = (bytes > static_cast<long long>(mask.size())) ? nullptr : mask.data() + firstRowOffset(r.h, s);
    if (in.pick(16) == 0) ptr = nullptr;
    lastCallFailed_ = !VELDRA::InitSelection(r.x, r.y, r.w, r.h, ptr, s);
  }

  void getSelection(ByteReader& in) {
    const Rect r = rectangle(in, 512);
    const int s = stride(in, r.w);
    const long long bytes = bufferBytes(r.w, r.h, s);
    constexpr int kGuard = 64;
    if (bytes > (1 << 22)) {
      VELDRA::GetSelection(r.x, r.y, r.w, r.h, nullptr, s, 0.0f, 0.0f, 0);
      return;
    }
    std::vector<unsigned char> buffer(static_cast<std::size_t>(bytes) + 2 * kGuard, 0xA5);
    const float cx = in.pick(5) == 0 ? in.interestingFloat() : static_cast<float>(coordinate(in, imageWidth()));
    const float cy = in.pick(5) == 0 ? in.interestingFloat() : static_cast<float>(coordinate(in, imageHeight()));
    const long long first = kGuard + firstRowOffset(r.h, s);
    VELDRA::GetSelection(r.x, r.y, r.w, r.h, in.pick(16) == 0 ? nullptr : buffer.data() + first, s, cx, cy, band(in));
    // Only bytes of the rectangle's pixels may change.
    for (long long i = 0; i < static_cast<long long>(buffer.size()); ++i) {
      if (buffer[static_cast<std::size_t>(i)] == 0xA5) continue;
      const unsigned char v = buffer[static_cast<std::size_t>(i)];
      if (!inBlock(i - first, r.w, r.h, s)) return fail("GetSelection wrote outside its rectangle");
      if (v != 0 && v != 128 && v != 255) return fail("GetSelection wrote a byte other than 0, 128, 255");
    }
  }

  void computeEdgeSnap(ByteReader& in) {
    const int w = in.pick(8) == 0 ? in.interestingInt() : in.intIn(-2, 96);
    const int h = in.pick(8) == 0 ? in.interestingInt() : in.intIn(-2, 96);
    // The margin block's row width, in 64 bits: w may be any int.
    const long long blockWidth = static_cast<long long>(w) + 24;
    int imageStride;
    switch (in.pick(6)) {
      case 0: imageStride = in.interestingInt(); break;
      case 1: imageStride = saturate(-blockWidth - in.intIn(0, 3)); break;  // stored bottom-up
      case 2: imageStride = saturate(in.intIn(0, 40)); break;               // rows sharing pixels
      default: imageStride = saturate(blockWidth + in.intIn(0, 3));
    }
    const int sx = stride(in, w), sy = stride(in, w);
    const auto small = [](long long v) { return std::llabs(v) <= 256; };
    const bool fits = w >= 1 && h >= 1 && w <= 96 && h <= 96 && small(imageStride) && small(sx) && small(sy);
    // Output rows that overlap are refused; image rows and output rows may run either way.
    const auto overlapping = [&](int stride) { return h > 1 && std::llabs(static_cast<long long>(stride)) < w; };
    const bool refused = w < 1 || h < 1 || overlapping(sx) || overlapping(sy);
    if (!fits) {
      // Sizes the buffers below could not hold: only calls the library must refuse are made, and
      // they must not touch memory.
      float dummy[4] = {};
      unsigned char pixel[4] = {};
      if (refused) VELDRA::ComputeEdgeSnapData(w, h, pixel, imageStride, dummy, sx, dummy, sy);
      VELDRA::ComputeEdgeSnapData(w, h, nullptr, imageStride, dummy, sx, dummy, sy);
      return;
    }
    const int blockRows = h + 24;
    std::vector<unsigned char> image(static_cast<std::size_t>(bufferBytes(static_cast<int>(blockWidth), blockRows, imageStride)) * 4);
    std::uint32_t state = in.u32() | 1u;
    const std::uint32_t spread = in.byte();
    for (std::size_t i = 0; i < image.size(); ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      image[i] = static_cast<unsigned char>((i / 4 % 97 < 40 ? 200 : 30) + state % (spread + 1));
    }
    std::vector<float> ox(static_cast<std::size_t>(bufferBytes(w, h, sx)), -7.0f);
    std::vector<float> oy(static_cast<std::size_t>(bufferBytes(w, h, sy)), -7.0f);
    const long long firstX = firstRowOffset(h, sx), firstY = firstRowOffset(h, sy);
    VELDRA::ComputeEdgeSnapData(w, h, image.data() + 4 * firstRowOffset(blockRows, imageStride), imageStride,
                                ox.data() + firstX, sx, oy.data() + firstY, sy);
    for (std::size_t i = 0; i < ox.size(); ++i)
      if (ox[i] != -7.0f && (refused || !inBlock(static_cast<long long>(i) - firstX, w, h, sx)))
        return fail("ComputeEdgeSnapData wrote outside its block");
    for (std::size_t i = 0; i < oy.size(); ++i)
      if (oy[i] != -7.0f && (refused || !inBlock(static_cast<long long>(i) - firstY, w, h, sy)))
        return fail("ComputeEdgeSnapData wrote outside its block");
    for (float v : ox)
      if (!std::isfinite(v)) return fail("ComputeEdgeSnapData produced a value that is not finite");
    for (float v : oy)
      if (!std::isfinite(v)) return fail("ComputeEdgeSnapData produced a value that is not finite");
  }

  void setParameter(ByteReader& in) {
    const int p = in.pick(9) - 2;  // -2 ... 6: the five and a few that are not
    int v;
    switch (in.pick(4)) {
      case 0: v = in.interestingInt(); break;
      case 1: v = in.intIn(-200, 1400); break;
      default: {
        static const int kSensible[5][4] = {{3, 10, 40, 120}, {0, 30, 60, 100}, {0, 75, 100, 40},
                                            {-100, 0, 100, 50}, {0, 1000, 500, 10}};
        v = kSensible[(p % 5 + 5) % 5][in.pick(4)];
      }
    }
    VELDRA::SetParameter(static_cast<VELDRA::PARAM>(p), v);
  }

  void readParameters(ByteReader& in) {
    const auto p = static_cast<VELDRA::PARAM>(in.pick(9) - 2);
    int a = 0, b = 0, c = 0;
    VELDRA::GetParameter(p, in.flag() ? nullptr : &a);
    VELDRA::GetDefaultParameter(p, in.flag() ? nullptr : &a, in.flag() ? nullptr : &b, in.flag() ? nullptr : &c);
  }

  void runCall(ByteReader& in, int op) {
    const int W = imageWidth(), H = imageHeight();
    switch (op) {
      case 0: {
        int w, h;
        imageSize(in, w, h);
        const bool release = in.pick(6) == 0;
        lastCallFailed_ = !VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, w, h, release);
        if (!lastCallFailed_) newScene(in);
        break;
      }
      case 1: {
        int w, h;
        imageSize(in, w, h);
        VELDRA::InitializeImage(w, h);
        newScene(in);
        break;
      }
      case 2: setParameter(in); break;
      case 3: readParameters(in); break;
      case 4: VELDRA::Deselect(); break;
      case 5:
      case 6: initSelection(in); break;
      case 7: lastCallFailed_ = !VELDRA::RefineSelection(in.intIn(-2, 3)); break;
      case 8: getSelection(in); break;
      case 9: computeEdgeSnap(in); break;
      case 10: step(in, mode(in), coordinate(in, W), coordinate(in, H)); break;
      case 11: {
        const VELDRA::EDITMODE m = mode(in);
        const int x0 = coordinate(in, W), y0 = coordinate(in, H), x1 = coordinate(in, W), y1 = coordinate(in, H);
        lastCallFailed_ = !VELDRA::AddDeleteLine(m, x0, y0, x1, y1);
        break;
      }
      case 12: smoothen(in, coordinate(in, W), coordinate(in, H)); break;
      case 13: VELDRA::MouseDown(); break;
      case 14: VELDRA::MouseUp(); break;
      case 15: VELDRA::GetMattingMode(coordinate(in, W), coordinate(in, H)); break;
      case 16: {
        const int radius = in.pick(3) == 0 ? in.interestingInt() : in.intIn(0, 300);
        VELDRA::CheckCircleRegionIntersection(coordinate(in, W), coordinate(in, H), radius);
        break;
      }
      case 17: {
        const int x = coordinate(in, W), y = coordinate(in, H);
        const int percent = in.pick(3) == 0 ? in.interestingInt() : in.intIn(0, 100);
        const int radius = in.pick(3) == 0 ? in.interestingInt() : in.intIn(0, 300);
        const Rect r = rectangle(in, 700);
        VELDRA::CheckSkipEvolution(x, y, percent, radius, r.x, r.y, saturate(static_cast<long long>(r.x) + r.w - 1),
                                   saturate(static_cast<long long>(r.y) + r.h - 1));
        break;
      }
      case 18: VELDRA::enableRLS(band(in)); break;
      case 19: VELDRA::disableRLS(); break;
      case 20:
        VELDRA::setMattingBrushRadius(in.pick(3) == 0 ? in.interestingFloat() : static_cast<float>(in.intIn(0, 60)));
        break;
      case 21: {
        unsigned char byte = 0;
        VELDRA::FeedbackMat(in.interestingInt(), 0, in.interestingInt(), 1, in.flag() ? &byte : nullptr, 0);
        VELDRA::SaveSelectionToFile(nullptr);
        break;
      }
      default: stroke(in); break;
    }
  }
};

}  // namespace veldra_fuzz
