// The stroke drivers behind Step, AddDeleteLine and Smoothen: brush record, mode machine, immediate
// edit and the evolve / reinitialise / refine / redistance loop. Failures are thrown as the storage's
// integer code and turned into `false` at the exported boundary.
#pragma once
#include <veldra/veldra.h>

#include "api/engine.h"

namespace VELDRA_CORE {

void RunStep(SLMain& engine, int mode, int band, int x, int y, int boxX, int boxY, int boxWidth,
             int boxHeight, const float* snapX, int snapXStride, const float* snapY, int snapYStride);
void RunAddDeleteLine(SLMain& engine, int mode, int x0, int y0, int x1, int y1);
void RunSmoothen(SLMain& engine, int x, int y, int boxX, int boxY, int boxWidth, int boxHeight);

}  // namespace VELDRA_CORE
