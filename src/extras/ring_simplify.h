// Fewer vertices for a traced ring, within a distance the caller gives.
#pragma once
#include "extras/boundary_trace.h"

namespace VELDRA_EXTRAS_CORE {

// Keeps a subset of the ring's vertices (in order, at least three) such that every dropped vertex
// lies within `tolerance` of the segment that replaces it (Douglas-Peucker on the two halves between
// the first vertex and the vertex farthest from it). The symmetric Hausdorff distance between the
// old and the new ring is then at most `tolerance`. A tolerance of 0 (or less) keeps every vertex.
Ring SimplifyRing(const Ring& ring, float tolerance);

}  // namespace VELDRA_EXTRAS_CORE
