// Read-only questions a host asks about the selection.
#pragma once
#include <veldra/veldra.h>

#include "api/engine.h"

namespace VELDRA_CORE {

// Renders the selection inside (x, y, w, h) into mask; see VELDRA::GetSelection.
void RenderSelection(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* mask, int stride,
                     float centerX, float centerY, int band, float brushRadius);
VELDRA::EDITMODE MattingMode(const SLMain& engine, int x, int y);
bool CircleRegionIntersection(const SLMain& engine, int x, int y, int radius);
bool SkipEvolution(const SLMain& engine, int x, int y, int percent, int radius, int left, int top, int right,
                   int bottom);

}  // namespace VELDRA_CORE
