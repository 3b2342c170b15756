// veldra-paint: replays brush strokes on an image through the veldra library and writes the
// selection mask and an overlay picture. Run with --help for the options.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  return paint::RunPaint(args, stdout, stderr);
}
