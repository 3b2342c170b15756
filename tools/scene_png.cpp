// veldra-scene: writes veldra-paint's built-in scene as a PNG, so that other hosts (the Python
// example, for one) can replay the built-in strokes on the very same pixels.
//   veldra-scene OUT.png [--scene WxH] [--mask MASK.png] [--script STROKES.json]
// --scene takes the size veldra-paint's --scene takes (default 1600x1200); --mask also writes the
// scene's object mask (255 where the target object shows), veldra-paint's IoU reference; --script
// writes the built-in stroke script for the scene.
#include <cstdio>
#include <fstream>
#include <string>

#include "default_script.h"
#include "png_io.h"
#include "scene.h"
#include "stroke_script.h"

namespace {

constexpr const char* kUsage = "usage: veldra-scene OUT.png [--scene WxH (64..8192)] [--mask MASK.png] [--script STROKES.json]\n";

}  // namespace

int main(int argc, char** argv) {
  std::string out, maskOut, scriptOut;
  int width = paint::kDefaultSceneWidth, height = paint::kDefaultSceneHeight;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    char end = 0;
    if (arg == "--scene" && i + 1 < argc &&
        std::sscanf(argv[++i], "%dx%d%c", &width, &height, &end) == 2 && width >= 64 && height >= 64 &&
        width <= 8192 && height <= 8192)
      continue;
    if ((arg == "--mask" || arg == "--script") && i + 1 < argc) {
      (arg == "--mask" ? maskOut : scriptOut) = argv[++i];
      continue;
    }
    if (out.empty() && !arg.empty() && arg[0] != '-') {
      out = arg;
      continue;
    }
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (out.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const paint::Scene scene = paint::GenerateScene(width, height);
  paint::RgbImage rgb(scene.image.width, scene.image.height);
  for (std::size_t p = 0; p < static_cast<std::size_t>(rgb.width) * rgb.height; ++p)
    for (int c = 0; c < 3; ++c) rgb.pixels[3 * p + c] = scene.image.pixels[4 * p + c];
  std::string error;
  if (!paint::WriteRgbPng(out, rgb, &error) || (!maskOut.empty() && !paint::WriteGrayPng(maskOut, scene.targetMask, &error))) {
    std::fprintf(stderr, "veldra-scene: error: %s\n", error.c_str());
    return 1;
  }
  if (!scriptOut.empty() && !(std::ofstream(scriptOut) << paint::WriteStrokeScript(paint::DefaultStrokes(scene)))) {
    std::fprintf(stderr, "veldra-scene: error: %s: cannot write\n", scriptOut.c_str());
    return 1;
  }
  return 0;
}
