// The interpolant written out as a list of weighted node entries, so that the region labels of the
// entries can compete: each label scores the weighted sum of its entries' regional distances.
#pragma once
#include "grid/sampling_stencil.h"

namespace VELDRA_TRW::sampling {

struct WeightedEntries {
  static constexpr int kCapacity = 16;
  unsigned node[kCapacity];
  float weight[kCapacity];
  int count = 0;
};

// The entries of a stencil: its four cells with bilinear weights when none has children, otherwise
// the corner sums of the point's sub-rectangle, each scaled by that corner's bilinear weight.
void BuildEntries(const Stencil& s, WeightedEntries& e);

// Returns the "level set" value of the entries; stores the winning label and its margin over the
// runner-up (at least 0) when the pointers are not null.
float CompeteRegions(const SLGrid2D& grid, const WeightedEntries& e, float* margin, unsigned char* label);

}  // namespace VELDRA_TRW::sampling
