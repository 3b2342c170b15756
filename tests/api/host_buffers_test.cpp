// Host buffers at the exported functions, as hosts lay them out: stored bottom-up (pointer at the top
// row, which comes last in memory; negative row stride) or with rows sharing memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hardening/library_state.h"
#include "support/host.h"

namespace {

using namespace veldra_test;

// 300 x 200 pixels: root tiles cover 512 x 256.
constexpr int kW = 300, kH = 200;
constexpr unsigned char kUnwritten = 77;

// A selection that crosses the image's right and bottom edges.
void startSession() {
  defaultParameters();
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false));
  ASSERT_TRUE(seedSelection(kW, kH, disc(280.0, 170.0, 70.0)));
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 1250);  // the brush disc covers every rectangle below
}

// A block of rows laid out in a buffer of its own, each row followed by `gap` spare elements,
// top-down or bottom-up (then `first`, the top row, comes last in memory and the stride is negative).
template <typename T>
struct RowBuffer {
  int length, rows;
  std::vector<T> storage;
  T* first;
  int stride;
  RowBuffer(int rowLength, int rowCount, int gap, bool bottomUp, T fill)
      : length(rowLength), rows(rowCount), storage(static_cast<std::size_t>(rowLength + gap) * rowCount, fill) {
    const int step = rowLength + gap;
    first = storage.data() + (bottomUp ? static_cast<std::ptrdiff_t>(rowCount - 1) * step : 0);
    stride = bottomUp ? -step : step;
  }
  T* row(int r) { return first + static_cast<std::ptrdiff_t>(r) * stride; }
  RowBuffer& put(const T* packed) {
    for (int r = 0; r < rows; ++r) std::copy_n(packed + static_cast<std::size_t>(r) * length, length, row(r));
    return *this;
  }
  std::string packed() {
    std::string out;
    for (int r = 0; r < rows; ++r) out.append(reinterpret_cast<const char*>(row(r)), sizeof(T) * static_cast<std::size_t>(length));
    return out;
  }
};

std::string treeHash() {
  const std::vector<std::uint32_t> f = veldra_hardening::fingerprint();
  return std::string(reinterpret_cast<const char*>(f.data()), f.size() * sizeof f[0]);
}

// The host's picture of the session.
const RgbaImage& hostImage() {
  static const RgbaImage image = render(kW, kH, disc(280.0, 170.0, 70.0), {220, 190, 40}, {30, 60, 140});
  return image;
}

// A fresh session seeded from a mask given by its first row and stride.
std::string seededFrom(const unsigned char* first, int stride) {
  defaultParameters();
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false);
  EXPECT_TRUE(VELDRA::InitSelection(0, 0, kW, kH, const_cast<unsigned char*>(first), stride));
  return treeHash();
}

// Every function that takes a row stride gives the same result for a buffer stored bottom-up as for
// the same rows stored top-down.
TEST(HostStrides, BottomUpBuffersActAsTopDownOnes) {
  struct Case {
    const char* name;
    std::function<std::string(bool bottomUp)> run;
  };
  const Case cases[] = {
      {"GetSelection", [](bool bottomUp) {
         startSession();
         RowBuffer<unsigned char> out(262, 100, 5, bottomUp, kUnwritten);
         VELDRA::GetSelection(250, 20, 262, 100, out.first, out.stride, 380.0f, 70.0f, 6);
         // The rectangle reaches past the image to the root tiles' edge and is rendered whole.
         EXPECT_EQ(out.packed().find(static_cast<char>(kUnwritten)), std::string::npos);
         return out.packed();
       }},
      {"InitSelection", [](bool bottomUp) {
         std::vector<unsigned char> mask(static_cast<std::size_t>(kW) * kH);
         for (int y = 0; y < kH; ++y)
           for (int x = 0; x < kW; ++x) mask[static_cast<std::size_t>(y) * kW + x] = std::hypot(x - 200, y - 90) < 60 ? 255 : 0;
         RowBuffer<unsigned char> rows(kW, kH, 3, bottomUp, 0);
         return seededFrom(rows.put(mask.data()).first, rows.stride);
       }},
      {"Step", [](bool bottomUp) {  // one add event over a brush box on the disc's edge
         const Box box{190, 110, 41, 37};
         SnapField snap;
         computeSnap(hostImage(), box, snap);
         RowBuffer<float> x(box.w, box.h, 2, bottomUp, 0.0f), y(box.w, box.h, 0, bottomUp, 0.0f);
         x.put(snap.x.data());
         y.put(snap.y.data());
         startSession();
         VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 18);
         VELDRA::MouseDown();
         EXPECT_TRUE(VELDRA::Step(VELDRA::EDITMODE_ADD, 0, 210, 128, box.x, box.y, box.w, box.h, x.first, x.stride,
                                  y.first, y.stride));
         VELDRA::MouseUp();
         return treeHash();
       }},
      {"ComputeEdgeSnapData", [](bool bottomUp) {  // 40 x 30 floats from the 64 x 54 pixels at (150, 100)
         RowBuffer<unsigned char> image(4 * 64, 54, 8, bottomUp, 0);
         for (int r = 0; r < 54; ++r) std::copy_n(hostImage().at(150, 100 + r), 4 * 64, image.row(r));
         RowBuffer<float> x(40, 30, 3, bottomUp, 0.0f), y(40, 30, 1, bottomUp, 0.0f);
         VELDRA::ComputeEdgeSnapData(40, 30, image.first, image.stride / 4, x.first, x.stride, y.first, y.stride);
         return x.packed() + y.packed();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string topDown = c.run(false);
    EXPECT_TRUE(c.run(true) == topDown);
  }
}

// Rows that share memory: a mask the library only reads is read row by row where the stride puts it
// (stride 0 repeats one row).
TEST(HostStrides, RowsSharingMemoryAreReadWhereTheStridePutsThem) {
  std::vector<unsigned char> row(kW), full;
  for (int x = 0; x < kW; ++x) row[static_cast<std::size_t>(x)] = x >= 120 && x < 170 ? 255 : 0;
  for (int y = 0; y < kH; ++y) full.insert(full.end(), row.begin(), row.end());
  EXPECT_TRUE(seededFrom(row.data(), 0) == seededFrom(full.data(), kW));
}

}  // namespace
