// Weighted-entry form of the interpolant and the competition of region labels.
#include "grid/sampling_regional.h"

#include "grid/region_labels.h"
#include "grid/sampling_corners.h"

namespace VELDRA_TRW::sampling {
namespace {

void Append(WeightedEntries& e, unsigned node, float weight) {
  if (e.count < WeightedEntries::kCapacity) {
    e.node[e.count] = node;
    e.weight[e.count] = weight;
    ++e.count;
    return;
  }
  // More entries than a graded tree can produce: fold into an earlier entry of the same node.
  for (int i = 0; i < e.count; ++i)
    if (e.node[i] == node) {
      e.weight[i] += weight;
      return;
    }
}

}  // namespace

void BuildEntries(const Stencil& s, WeightedEntries& e) {
  e.count = 0;
  if (s.mask == 0) {
    Append(e, s.cell[CELL_B], (1.0f - s.sx) * (1.0f - s.sy));
    Append(e, s.cell[CELL_X], s.sx * (1.0f - s.sy));
    Append(e, s.cell[CELL_Y], (1.0f - s.sx) * s.sy);
    Append(e, s.cell[CELL_D], s.sx * s.sy);
    return;
  }
  const SubRectangle r = LocateSubRectangle(s);
  const int cx[4] = {r.x0, r.x1, r.x0, r.x1};
  const int cy[4] = {r.y0, r.y0, r.y1, r.y1};
  const float w[4] = {(1.0f - r.s) * (1.0f - r.t), r.s * (1.0f - r.t), (1.0f - r.s) * r.t, r.s * r.t};
  Terms t;
  for (int c = 0; c < 4; ++c) {
    CornerTerms(s, cx[c], cy[c], t);
    for (int i = 0; i < t.count; ++i) Append(e, t.node[i], t.weight[i] * w[c]);
  }
}

float CompeteRegions(const SLGrid2D& grid, const WeightedEntries& e, float* margin, unsigned char* label) {
  const float* levelSet = grid.levelSet.data();
  const float* regional = grid.regional.data();
  const unsigned char* region = grid.region.data();
  float value = 0.0f;
  unsigned char labels[WeightedEntries::kCapacity];
  float sums[WeightedEntries::kCapacity];
  int labelCount = 0;
  for (int i = 0; i < e.count; ++i) {
    const unsigned n = e.node[i];
    value += e.weight[i] * levelSet[n];
    int l = 0;
    while (l < labelCount && labels[l] != region[n]) ++l;
    if (l == labelCount) {
      labels[labelCount] = region[n];
      sums[labelCount++] = 0.0f;
    }
    sums[l] += e.weight[i] * regional[n];
  }
  if (labelCount == 0) return value;
  const LabelWinner w = pickLabelWinner(labels, sums, labelCount);
  if (label != nullptr) *label = w.label;
  if (margin != nullptr) *margin = w.best - w.second;
  return value;
}

}  // namespace VELDRA_TRW::sampling
