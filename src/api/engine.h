// The engine object and the library-wide state behind the exported functions.
#pragma once
#include <cstdint>

#include "grid/sl_grid.h"

namespace VELDRA_CORE {

using VELDRA_TRW::SLGrid2D;

// Operation code of the current stroke, chosen by the mode machine.
enum Operation : std::int32_t {
  OP_IDLE = 0,
  OP_REGION_BRUSH = 1,
  OP_RESERVED = 2,  // never assigned; the evolution skips it as it skips the regional brush
  OP_BAND_PAINT = 3,
  OP_ADD = 4,
  OP_SUBTRACT = 5,
  OP_SMOOTH = 6
};

// The one engine object: owns the grid of the current image and the brush record of the current event.
class SLMain {
 public:
  SLGrid2D* grid = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t operation = OP_IDLE;
  float mattingRadius = 5.0f;
  float mattingThreshold = 10.0f;
  float brushX = 0.0f, brushY = 0.0f;
  float lineStartX = 0.0f, lineStartY = 0.0f;
  float innerRadius = 0.0f;
  float brushRadius = 0.0f;
  float smoothing = 0.0f;
  float edgeSnap = 0.0f;
  float spare = 0.0f;

  SLMain() = default;
  SLMain(const SLMain&) = delete;
  SLMain& operator=(const SLMain&) = delete;
  virtual ~SLMain() { releaseGrid(); }

  void releaseGrid() {
    delete grid;
    grid = nullptr;
  }
};

// State that lives as long as the library: the current parameters (0 until the host sets them), the
// engine object (created by the first InitializeWithVeldraBrush, never destroyed by the library) and
// the regional-stroke flag (set by enableRLS, cleared by MouseUp).
struct LibraryState {
  std::int32_t parameters[5] = {0, 0, 0, 0, 0};
  SLMain* engine = nullptr;
  bool regionalStroke = false;
};

LibraryState& library();

// The engine's grid, or null when there is no engine or no grid.
inline SLGrid2D* currentGrid() {
  SLMain* e = library().engine;
  return e != nullptr ? e->grid : nullptr;
}

}  // namespace VELDRA_CORE
