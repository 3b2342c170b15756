// Smallest host: creates the engine for an image, sets the default parameters and prints them.
#include <veldra/veldra.h>

#include <cstdio>

#include "host_conventions.h"

int main() {
  static const char* const kNames[] = {"radius", "core", "edge snap", "smoothing", "spare"};
  if (!VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, 1920, 1080, false)) {
    std::fprintf(stderr, "veldra-smoke: could not set up a 1920x1080 image\n");
    return 1;
  }
  std::printf("veldra engine ready for a 1920x1080 image\n");
  veldra_host::SetDefaultParameters();
  std::printf("%-10s %8s %8s %8s %8s\n", "parameter", "default", "minimum", "maximum", "current");
  for (int p = VELDRA::PARAM_RADIUS; p <= VELDRA::PARAM_SPARE; ++p) {
    int def = 0, lo = 0, hi = 0, cur = 0;
    const auto param = static_cast<VELDRA::PARAM>(p);
    VELDRA::GetDefaultParameter(param, &def, &lo, &hi);
    VELDRA::GetParameter(param, &cur);
    std::printf("%-10s %8d %8d %8d %8d\n", kNames[p], def, lo, hi, cur);
  }
  std::printf("pixel (960, 540) is %s\n", VELDRA::GetMattingMode(960, 540) == VELDRA::EDITMODE_ADD ? "inside" : "outside");
  return 0;
}
