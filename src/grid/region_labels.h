// Rules on region labels shared by the operations that move the three-region partition.
#pragma once

namespace VELDRA_TRW {

// The labels of the "region" channel. Children split while the partition is off carry REGION_UNSET.
enum RegionLabel : unsigned char { REGION_INSIDE = 0, REGION_OUTSIDE = 1, REGION_BAND = 2, REGION_UNSET = 3 };

// The label with the highest score (the first of equal scores) and its margin over the runner-up,
// which counts as 0 when no other label scores more. count >= 1.
struct LabelWinner {
  unsigned char label;
  float best, second;
};

inline LabelWinner pickLabelWinner(const unsigned char* labels, const float* scores, int count) {
  LabelWinner w{labels[0], scores[0], 0.0f};
  for (int k = 1; k < count; ++k) {
    if (scores[k] > w.best) {
      w.second = w.best;
      w.best = scores[k];
      w.label = labels[k];
    } else if (scores[k] > w.second) {
      w.second = scores[k];
    }
  }
  return w;
}

// Labels follow the level set's sign: a negative value cannot stay outside nor a positive one inside;
// a label that has to change starts at regional distance 0.
inline void followLevelSetSign(float phi, unsigned char& label, float& rho) {
  if (phi < 0.0f && label == REGION_OUTSIDE) {
    label = REGION_INSIDE;
    rho = 0.0f;
  }
  if (phi > 0.0f && label == REGION_INSIDE) {
    label = REGION_OUTSIDE;
    rho = 0.0f;
  }
}

}  // namespace VELDRA_TRW
