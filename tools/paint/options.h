// Command-line options of veldra-paint.
#ifndef VELDRA_PAINT_OPTIONS_H
#define VELDRA_PAINT_OPTIONS_H

#include <string>
#include <vector>

namespace paint {

struct Options {
  std::string image;        // empty: the built-in scene
  std::string script;       // empty: the built-in script (scene) or no strokes (own image)
  std::string seedMask;     // optional
  std::string reference;    // optional mask to compare the result with
  std::string outDir = "out";
  std::string writeScript;  // optional: where to write the script as replayed
  int band = 0;             // band width of the read-back (0: a two-level mask)
  int sceneWidth = 1600, sceneHeight = 1200;
  // Part of the image that mask.png and overlay.png show (the summary still covers the whole image).
  struct Crop {
    int x = 0, y = 0, width = 0, height = 0;  // width 0: the whole image
  } crop;
  int shrink = 1;  // overlay.png at 1 / shrink of the (cropped) size
  bool fieldDump = false;
  bool alpha = false;       // write alpha.png (soft edges); set by --feather too
  float feather = 0.0f;     // feather radius of alpha.png in pixels
  bool svg = false;         // write selection.svg (the traced path over the image)
  bool trace = false;       // let the library's refinement trace through to stdout
  bool help = false;
};

extern const char* const kUsage;

// False with *error (one line) for unknown options, missing or malformed values.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

}  // namespace paint

#endif  // VELDRA_PAINT_OPTIONS_H
