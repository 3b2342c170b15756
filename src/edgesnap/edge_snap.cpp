// Placeholder until the edge snap pipeline lands (owned by the edge snap work; replace this file).
#include "edgesnap/edge_snap.h"

namespace VELDRA_EDGESNAP {

void ComputeEdgeSnapData(int, int, const unsigned char*, int, float*, int, float*, int) {}

}  // namespace VELDRA_EDGESNAP
