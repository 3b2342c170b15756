// The library's extras as the tool uses them: the alpha read-out of the whole image, the selection's
// traced path, and snapshots that undo entries of a stroke script go back to.
#ifndef VELDRA_PAINT_SELECTION_EXTRAS_H
#define VELDRA_PAINT_SELECTION_EXTRAS_H

#include <array>
#include <string>
#include <vector>

#include "image.h"

namespace paint {

// Soft edges of the whole image: 255 inside, 0 outside, each boundary pixel's share in between;
// feather (pixels, 0 for none) widens the edge. False with *error when the library refused.
bool ReadAlpha(int width, int height, float feather, GrayImage* alpha, std::string* error);

// A closed polygon in image pixels.
using Ring = std::vector<std::array<float, 2>>;

struct TracedSelection {
  std::vector<Ring> rings;  // outer boundaries counter-clockwise as displayed, holes clockwise
  std::string svgPath;      // the rings as SVG path data
};

// The boundary of the whole selection, simplified to `tolerance` pixels.
bool TraceSelection(int width, int height, float tolerance, TracedSelection* out, std::string* error);

// The states before the strokes replayed so far, latest last: BeforeStroke keeps one, Undo puts the
// latest back and forgets it. Without `enabled` (a script without undo entries) nothing is kept.
class UndoHistory {
 public:
  explicit UndoHistory(bool enabled) : enabled_(enabled) {}
  ~UndoHistory();
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  bool BeforeStroke(std::string* error);
  // False when there was nothing to undo (the state is unchanged then) or the library failed.
  bool Undo();

 private:
  bool enabled_;
  std::vector<unsigned long long> snapshots_;
};

}  // namespace paint

#endif  // VELDRA_PAINT_SELECTION_EXTRAS_H
