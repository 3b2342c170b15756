// The C++ side of bench/python_stroke_cost.py: replays the same strokes on the same image with the
// library called directly, doing per point exactly what the Python module's stroke() does (the brush
// box, then Step over a view of the whole-image edge snap field, or Smoothen), and writes each
// stroke's point count and seconds. The whole-image field and the seeding are not timed; standard
// output (the library's refinement trace) is silenced, as the module silences it.
//
//   direct_stroke_cost DIR
// DIR holds image.rgba (packed RGBA rows), seed.u8 (packed mask rows) and strokes.txt: a line
// "width height", then one stroke per line, "mode radius core edge_snap smoothing n x1 y1 ... xn yn"
// with mode add, subtract, auto or smooth. Results: DIR/times.txt, a line "points seconds" per
// stroke, and the final selection, DIR/mask.u8.
#include <veldra/veldra.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_conventions.h"
#include "quiet_stdout.h"
#include "whole_image_field.h"

namespace {

std::vector<std::uint8_t> ReadBytes(const std::string& path, std::size_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != size) {
    std::fprintf(stderr, "direct_stroke_cost: %s: expected %zu bytes, read %zu\n", path.c_str(), size, bytes.size());
    std::exit(1);
  }
  return bytes;
}

VELDRA::EDITMODE EditMode(const std::string& mode) {
  if (mode == "subtract") return VELDRA::EDITMODE_SUBTRACT;
  if (mode == "auto") return VELDRA::EDITMODE_AUTO;
  return VELDRA::EDITMODE_ADD;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: direct_stroke_cost DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::ifstream strokes(dir + "/strokes.txt");
  int width = 0, height = 0;
  if (!(strokes >> width >> height) || width < 1 || height < 1) {
    std::fprintf(stderr, "direct_stroke_cost: %s/strokes.txt: no image size\n", dir.c_str());
    return 1;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  paint::RgbaImage image(width, height);
  image.pixels = ReadBytes(dir + "/image.rgba", pixels * 4);
  std::vector<std::uint8_t> seed = ReadBytes(dir + "/seed.u8", pixels);

  veldra_host::SetDefaultParameters();
  veldra_python::WholeImageField field;
  if (!field.Compute(image) || !VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, width, height, false) ||
      !VELDRA::InitSelection(0, 0, width, height, seed.data(), width)) {
    std::fprintf(stderr, "direct_stroke_cost: the library ran out of memory\n");
    return 3;
  }
  VELDRA::setMattingBrushRadius(veldra_host::kDefaultMattingRadius);

  const paint::QuietStdout quiet(true);
  std::ofstream times(dir + "/times.txt");
  times.precision(9);
  std::string mode;
  int radius = 0, core = 0, edgeSnap = 0, smoothing = 0, n = 0;
  std::vector<std::array<int, 2>> points;
  while (strokes >> mode >> radius >> core >> edgeSnap >> smoothing >> n) {
    points.resize(static_cast<std::size_t>(n));
    for (auto& p : points) strokes >> p[0] >> p[1];
    bool ok = true;
    const auto start = std::chrono::steady_clock::now();
    VELDRA::SetParameter(VELDRA::PARAM_RADIUS, radius);
    VELDRA::SetParameter(VELDRA::PARAM_CORE, core);
    VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, edgeSnap);
    VELDRA::SetParameter(VELDRA::PARAM_SMOOTHING, smoothing);
    VELDRA::MouseDown();
    for (const auto& [x, y] : points) {
      const veldra_host::PixelBox box = veldra_host::BrushBox(x, y, radius, width, height);
      if (box.empty()) continue;
      ok = (mode == "smooth" ? VELDRA::Smoothen(x, y, box.x, box.y, box.width, box.height)
                             : VELDRA::Step(EditMode(mode), 10, x, y, box.x, box.y, box.width, box.height,
                                            field.x(box), width, field.y(box), width)) &&
           ok;
    }
    VELDRA::MouseUp();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      std::fprintf(stderr, "direct_stroke_cost: the library ran out of memory\n");
      return 3;
    }
    times << n << ' ' << seconds << '\n';
  }

  std::vector<unsigned char> mask(pixels);
  veldra_host::ReadWholeSelection(width, height, 0, mask.data(), width);
  std::ofstream(dir + "/mask.u8", std::ios::binary).write(reinterpret_cast<const char*>(mask.data()),
                                                          static_cast<std::streamsize>(mask.size()));
  return 0;
}
