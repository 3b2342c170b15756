// The exported functions of namespace VELDRA: argument checks, the failure guard, and hand-over to the
// engine. Nothing else in the library is visible to the host.
#include <veldra/veldra.h>

#include <algorithm>
#include <cstddef>
#include <limits>

#include "api/argument_checks.h"
#include "api/engine.h"
#include "api/parameters.h"
#include "api/queries.h"
#include "api/stroke_drivers.h"
#include "common/index_bounds.h"
#include "edgesnap/edge_snap.h"

namespace VELDRA_CORE {

LibraryState& library() {
  static LibraryState state;
  return state;
}

namespace {

// Runs an editing operation; the storage's integer code (its pools could not reserve or commit
// memory) ends it with false. Work done before the failure is kept. Nothing else is caught: the
// general heap running out (std::bad_alloc) reaches the host.
template <typename F>
bool guarded(F&& work) {
  try {
    work();
    return true;
  } catch (int) {
    return false;
  }
}

// More passes than this cannot change the tree any further (a pass refines by at most one level); a
// larger request would only keep the host waiting.
constexpr int kMostRefinementPasses = 256;

// Builds a new grid for the engine; a failure passes on to the caller with the engine left without a
// grid. An image size the grid cannot hold leaves it without a grid and returns false.
bool buildGrid(SLMain& engine, int width, int height) {
  engine.releaseGrid();
  engine.width = width;
  engine.height = height;
  if (!SupportedImageSize(width, height)) return false;
  auto* grid = new SLGrid2D();
  try {
    grid->setImageSize(static_cast<std::uint32_t>(width < 0 ? 0 : width),
                       static_cast<std::uint32_t>(height < 0 ? 0 : height));
  } catch (...) {
    delete grid;
    throw;
  }
  engine.grid = grid;
  return true;
}

}  // namespace
}  // namespace VELDRA_CORE

namespace VELDRA {

using namespace VELDRA_CORE;

bool InitializeWithVeldraBrush(BrushCallback, BrushCallback, int width, int height, bool releaseImage) {
  LibraryState& lib = library();
  bool built = false;
  const bool ok = guarded([&] {
    if (lib.engine == nullptr) lib.engine = new SLMain();
    built = buildGrid(*lib.engine, width, height);
    if (releaseImage) lib.engine->releaseGrid();
  });
  if (!ok && lib.engine != nullptr) lib.engine->grid = nullptr;
  return ok && built;
}

int InitializeImage(int width, int height) {
  SLMain* engine = library().engine;
  if (engine == nullptr) return 0;
  buildGrid(*engine, width, height);  // not guarded: a failure reaches the host
  return 0;
}

int GetDefaultParameter(PARAM parameter, int* defaultValue, int* minimum, int* maximum) {
  if (defaultValue == nullptr || minimum == nullptr || maximum == nullptr) return -1;
  if (!isParameter(parameter)) return -1;
  const ParameterRange& r = kParameterTable[parameter];
  *defaultValue = r.defaultValue;
  *minimum = r.minimum;
  *maximum = r.maximum;
  return 0;
}

int GetParameter(PARAM parameter, int* value) {
  if (!isParameter(parameter)) return -1;
  if (value == nullptr) return -1;
  *value = library().parameters[parameter];
  return 0;
}

int SetParameter(PARAM parameter, int value) {
  if (!isParameter(parameter)) return -1;
  library().parameters[parameter] = clampParameter(parameter, value);
  return 0;
}

void Deselect() {
  if (SLGrid2D* grid = currentGrid()) grid->resetField();
}

bool InitSelection(int x, int y, int width, int height, unsigned char* mask, int stride) {
  SLGrid2D* grid = currentGrid();
  if (grid == nullptr) return false;
  if (width == 0 || height == 0) return true;
  // Any stride: the mask is only read, so its rows may run bottom-up or share memory.
  if (mask == nullptr || width < 0 || height < 0 || x < 0 || y < 0 ||
      static_cast<long long>(x) + width > static_cast<long long>(grid->imageWidth) ||
      static_cast<long long>(y) + height > static_cast<long long>(grid->imageHeight))
    return false;
  return guarded([&] { grid->InitFromMask(x, y, width, height, mask, stride); });
}

bool FeedbackMat(int, int, int, int, unsigned char*, int) { return true; }

bool RefineSelection(int passes) {
  SLGrid2D* grid = currentGrid();
  if (grid == nullptr) return false;
  const int count = passes >= 1 ? std::min(passes, kMostRefinementPasses) : static_cast<int>(grid->maxLevel);
  return guarded([&] {
    for (int p = 0; p < count; ++p)
      grid->RefineGridForField(0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj));
  });
}

EDITMODE GetMattingMode(int x, int y) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return EDITMODE_ADD;
  return MattingMode(*engine, x, y);
}

void GetSelection(int x, int y, int w, int h, unsigned char* mask, int stride, float centerX, float centerY,
                  int band) {
  SLGrid2D* grid = currentGrid();
  // Rows may run bottom-up; rows that overlap would be written by different threads.
  if (grid == nullptr || mask == nullptr || w <= 0 || h <= 0 || !WithinRootTiles(x, y, w, h, *grid) ||
      !BufferRowsUsable(w, h, stride, false))
    return;
  RenderSelection(*grid, x, y, w, h, mask, stride, centerX, centerY, band,
                  static_cast<float>(library().parameters[PARAM_RADIUS]));
}

void ComputeEdgeSnapData(int w, int h, unsigned char* image, int imageStride, float* snapX, int snapXStride,
                         float* snapY, int snapYStride) {
  // The work images are allocated on the general heap; if they cannot grow, std::bad_alloc reaches
  // the host before either array is written.
  VELDRA_EDGESNAP::ComputeEdgeSnapData(w, h, image, imageStride, snapX, snapXStride, snapY, snapYStride);
}

bool AddDeleteLine(EDITMODE mode, int x0, int y0, int x1, int y1) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return false;
  return guarded([&] { RunAddDeleteLine(*engine, mode, x0, y0, x1, y1); });
}

bool Step(EDITMODE mode, int band, int x, int y, int boxX, int boxY, int boxWidth, int boxHeight, float* snapX,
          int snapXStride, float* snapY, int snapYStride) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return false;
  if (snapX == nullptr || snapY == nullptr) return false;
  const SLGrid2D& grid = *engine->grid;
  ClippedRect box;
  if (!ClipToImage(boxX, boxY, boxWidth, boxHeight, static_cast<int>(grid.imageWidth),
                   static_cast<int>(grid.imageHeight), box))
    return false;
  // The arrays are only read: rows may run bottom-up or share memory.
  if (!BufferRowsUsable(box.w, box.h, snapXStride, true) ||
      !BufferRowsUsable(box.w, box.h, snapYStride, true))
    return false;
  const float* sx = snapX + static_cast<std::ptrdiff_t>(box.skipRows) * snapXStride + box.skipColumns;
  const float* sy = snapY + static_cast<std::ptrdiff_t>(box.skipRows) * snapYStride + box.skipColumns;
  // The evolution reads the arrays only at leaves within the brush radius of (x, y).
  const long long reach = static_cast<long long>(library().parameters[PARAM_RADIUS]) + 2;
  using VELDRA_COMMON::clampToCount;
  const int c0 = clampToCount(x - reach - box.x, box.w), c1 = clampToCount(x + reach + 1 - box.x, box.w);
  const int r0 = clampToCount(y - reach - box.y, box.h), r1 = clampToCount(y + reach + 1 - box.y, box.h);
  if (!UsableSnapValues(sx, snapXStride, c0, r0, c1, r1) || !UsableSnapValues(sy, snapYStride, c0, r0, c1, r1))
    return false;
  return guarded([&] {
    RunStep(*engine, mode, band, x, y, box.x, box.y, box.w, box.h, sx, snapXStride, sy, snapYStride);
  });
}

bool Smoothen(int x, int y, int boxX, int boxY, int boxWidth, int boxHeight) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return false;
  ClippedRect box;
  if (!ClipToImage(boxX, boxY, boxWidth, boxHeight, static_cast<int>(engine->grid->imageWidth),
                   static_cast<int>(engine->grid->imageHeight), box))
    return false;
  return guarded([&] { RunSmoothen(*engine, x, y, box.x, box.y, box.w, box.h); });
}

void MouseDown() {
  if (SLMain* engine = library().engine) engine->operation = OP_IDLE;
}

void MouseUp() {
  library().regionalStroke = false;
  if (SLMain* engine = library().engine) engine->operation = OP_IDLE;
}

bool CheckCircleRegionIntersection(int x, int y, int radius) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return false;
  return CircleRegionIntersection(*engine, x, y, radius);
}

bool CheckSkipEvolution(int x, int y, int percent, int radius, int left, int top, int right, int bottom) {
  SLMain* engine = library().engine;
  if (engine == nullptr || engine->grid == nullptr) return false;
  return SkipEvolution(*engine, x, y, percent, radius, left, top, right, bottom);
}

void SaveSelectionToFile() {
  if (SLGrid2D* grid = currentGrid()) grid->saveField();
}

void SaveSelectionToFile(void*) {}

void enableRLS(int band) {
  SLGrid2D* grid = currentGrid();
  if (grid == nullptr) return;
  if (grid->useRegional == 0) {
    grid->useRegional = 1;
    grid->BuildRegions(band);
  }
  library().regionalStroke = true;
}

void disableRLS() {
  if (SLGrid2D* grid = currentGrid()) grid->useRegional = 0;
}

void setMattingBrushRadius(float radius) {
  if (!(radius >= 0.0f && radius <= std::numeric_limits<float>::max())) return;  // NaN, negative, infinite
  if (SLMain* engine = library().engine) engine->mattingRadius = radius;
}

}  // namespace VELDRA
