// Placeholder: the stroke drivers are not built yet.
#include "api/stroke_drivers.h"

namespace VELDRA_CORE {

void RunStep(SLMain&, int, int, int, int, int, int, int, int, const float*, int, const float*, int) {}
void RunAddDeleteLine(SLMain&, int, int, int, int, int) {}
void RunSmoothen(SLMain&, int, int, int, int, int, int) {}

}  // namespace VELDRA_CORE
