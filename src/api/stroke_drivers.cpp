// Stroke drivers: each brush event fills the brush record, lets the mode machine pick the stroke's
// operation, performs its immediate edit and then runs the field updates over the root tiles that
// the host's rectangle touches.
#include "api/stroke_drivers.h"

#include "api/mode_machine.h"
#include "api/tile_range.h"

namespace VELDRA_CORE {

void FillBrushRecord(SLMain& engine, const std::int32_t parameters[5], float x, float y, float startX,
                     float startY, bool withSnap) {
  const float radius = static_cast<float>(parameters[VELDRA::PARAM_RADIUS]);
  engine.brushX = x;
  engine.brushY = y;
  engine.lineStartX = startX;
  engine.lineStartY = startY;
  engine.innerRadius = static_cast<float>(parameters[VELDRA::PARAM_CORE]) * 0.01f * radius + 0.5f;
  engine.brushRadius = radius;
  engine.smoothing = static_cast<float>(parameters[VELDRA::PARAM_SMOOTHING]);
  if (withSnap) {
    engine.edgeSnap = static_cast<float>(parameters[VELDRA::PARAM_EDGE_SNAP]);
    engine.spare = static_cast<float>(parameters[VELDRA::PARAM_SPARE]);
  }
}

void DispatchOperation(SLMain& engine) {
  SLGrid2D& grid = *engine.grid;
  const float start[2] = {engine.lineStartX, engine.lineStartY};
  const float end[2] = {engine.brushX, engine.brushY};
  switch (engine.operation) {
    case OP_REGION_BRUSH: grid.RegionBrush(end, engine.brushRadius, 1.0f); break;
    case OP_BAND_PAINT: grid.LineEdit(VELDRA_TRW::REGION_BAND, start, end, engine.mattingRadius); break;
    case OP_ADD: grid.LineEdit(VELDRA_TRW::REGION_INSIDE, start, end, engine.innerRadius); break;
    case OP_SUBTRACT: grid.LineEdit(VELDRA_TRW::REGION_OUTSIDE, start, end, engine.innerRadius); break;
    default: break;
  }
}

namespace {

void ChooseOperation(SLMain& engine, int mode) {
  const SLGrid2D& grid = *engine.grid;
  engine.operation = NextOperation(mode, engine.operation, library().regionalStroke, grid.useRegional != 0,
                                   [&] { return LabelUnderBrush(grid, engine.brushX, engine.brushY); });
}

}  // namespace

void RunStep(SLMain& engine, int mode, int band, int x, int y, int boxX, int boxY, int boxWidth,
             int boxHeight, const float* snapX, int snapXStride, const float* snapY, int snapYStride) {
  // The evolution reads the edge vector field at every leaf of the rectangle: without it, or with a
  // rectangle of negative size, the event is ignored. The arrays' rows may lie in any order.
  if (engine.grid == nullptr || snapX == nullptr || snapY == nullptr || boxWidth < 0 || boxHeight < 0) return;
  SLGrid2D& grid = *engine.grid;
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  FillBrushRecord(engine, library().parameters, fx, fy, fx, fy, true);
  ChooseOperation(engine, mode);
  DispatchOperation(engine);

  const TileBox range = TileRangeOf(grid, boxX, boxY, boxWidth, boxHeight);
  const int iterations = IterationCount(engine.brushRadius);
  for (int k = 0; k < iterations; ++k) {
    const std::int32_t op = engine.operation;
    if (op != OP_REGION_BRUSH && op != OP_RESERVED) {
      const bool bandPaint = op == OP_BAND_PAINT;
      const bool smoothOnly = op == OP_SMOOTH;
      grid.EvolveFront(!bandPaint, band, engine.brushX, engine.brushY,
                       bandPaint ? engine.mattingRadius : engine.innerRadius, engine.brushRadius,
                       smoothOnly ? 0.0f : 1.0f, smoothOnly ? 0.0f : engine.edgeSnap, engine.smoothing, boxX,
                       boxY, boxWidth, boxHeight, snapX, snapXStride, snapY, snapYStride);
    }
    grid.UpdateNarrowBand(range.i0, range.j0, range.i1, range.j1);
    grid.RefineGridForField(range.i0, range.j0, range.i1, range.j1);
  }
  grid.Redistance(range.i0, range.j0, range.i1, range.j1);
}

void RunAddDeleteLine(SLMain& engine, int mode, int x0, int y0, int x1, int y1) {
  if (engine.grid == nullptr) return;
  FillBrushRecord(engine, library().parameters, static_cast<float>(x1), static_cast<float>(y1),
                  static_cast<float>(x0), static_cast<float>(y0), true);
  ChooseOperation(engine, mode);
  DispatchOperation(engine);
}

void RunSmoothen(SLMain& engine, int x, int y, int boxX, int boxY, int boxWidth, int boxHeight) {
  if (engine.grid == nullptr) return;
  SLGrid2D& grid = *engine.grid;
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  FillBrushRecord(engine, library().parameters, fx, fy, fx, fy, false);
  grid.Smooth(engine.brushX, engine.brushY, engine.innerRadius, engine.brushRadius, boxX, boxY, boxWidth,
              boxHeight);
  const TileBox range = TileRangeOf(grid, boxX, boxY, boxWidth, boxHeight);
  grid.UpdateNarrowBandAndRedistance(range.i0, range.j0, range.i1, range.j1);
  grid.RefineGridForField(range.i0, range.j0, range.i1, range.j1);
}

}  // namespace VELDRA_CORE
