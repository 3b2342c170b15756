// Placeholder: the selection queries are not built yet.
#include "api/queries.h"

namespace VELDRA_CORE {

void RenderSelection(const SLGrid2D&, int, int, int, int, unsigned char*, int, float, float, int, float) {}
VELDRA::EDITMODE MattingMode(const SLMain&, int, int) { return VELDRA::EDITMODE_ADD; }
bool CircleRegionIntersection(const SLMain&, int, int, int) { return false; }
bool SkipEvolution(const SLMain&, int, int, int, int, int, int, int, int) { return false; }

}  // namespace VELDRA_CORE
