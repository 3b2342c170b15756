// One pixel channel at a time: the fallback for spans narrower than a vector.
#include <cmath>
#include <cstddef>
#include <utility>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/row_kernels.h"

namespace VELDRA_EDGESNAP {
namespace scalar_kernels {

using F = float;
using Mask = bool;
constexpr int kLanes = 1;
constexpr int kBatch = 1;
constexpr int kBlurBlock = 4;
constexpr int kColumnBlock = 2;
constexpr int kConvertGroup = 1;

inline F Splat(float value) { return value; }
inline F LoadF(const float* p) { return *p; }
inline void StoreF(float* p, F value) { *p = value; }
inline F Sqrt(F value) { return std::sqrt(value); }
inline F Abs(F value) { return std::fabs(value); }
inline Mask Greater(F a, F b) { return a > b; }
inline Mask GreaterEqual(F a, F b) { return a >= b; }
inline F Select(Mask mask, F ifTrue, F ifFalse) { return mask ? ifTrue : ifFalse; }

inline void LoadBytesRgb(const unsigned char* p, F& red, F& green, F& blue) {
  red = float(p[0]);
  green = float(p[1]);
  blue = float(p[2]);
}
template <int Count>
inline void CubeRootLanes(const F (&y)[Count], F (&root)[Count]) {
  for (int j = 0; j < Count; ++j) root[j] = y[j] > kLightnessThreshold ? powf(y[j], kCubeRootExponent) : 0.0f;
}

// Never used: a single lane fits every span.
const RowKernels& Narrower() { return ScalarRowKernels(); }

#include "edgesnap/row_kernels_body.inl"

}  // namespace scalar_kernels

const RowKernels& ScalarRowKernels() {
  static constexpr RowKernels kernels{"scalar", scalar_kernels::ConvertRow, scalar_kernels::BlurRow,
                                      scalar_kernels::BlurColumns, scalar_kernels::TensorRow,
                                      scalar_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP
