// The stroke drivers behind Step, AddDeleteLine and Smoothen: brush record, mode machine, immediate
// edit and the evolve / reinitialise / refine / redistance loop. Failures are thrown as the storage's
// integer code and turned into `false` at the exported boundary.
#pragma once
#include <cstdint>

#include <veldra/veldra.h>

#include "api/engine.h"

namespace VELDRA_CORE {

void RunStep(SLMain& engine, int mode, int band, int x, int y, int boxX, int boxY, int boxWidth,
             int boxHeight, const float* snapX, int snapXStride, const float* snapY, int snapYStride);
void RunAddDeleteLine(SLMain& engine, int mode, int x0, int y0, int x1, int y1);
void RunSmoothen(SLMain& engine, int x, int y, int boxX, int boxY, int boxWidth, int boxHeight);

// Copies the current parameters and an event's coordinates into the brush record: the brush point,
// the line start, the hard-core radius (core percent * 0.01 * radius + 0.5), the radius and the
// smoothing; the edge-snap and spare fields only when withSnap is set (Smoothen leaves them).
void FillBrushRecord(SLMain& engine, const std::int32_t parameters[5], float x, float y, float startX,
                     float startY, bool withSnap);

// The immediate edit of the engine's current operation: the band brush, or a line edit from the
// line start to the brush point (inside, outside or band label); nothing for idle and smoothing.
void DispatchOperation(SLMain& engine);

}  // namespace VELDRA_CORE
