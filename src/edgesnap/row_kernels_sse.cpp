// Four floats per instruction with the x86-64 baseline (SSE2): four pixels of one channel per vector.
#include <emmintrin.h>

#include <cmath>
#include <cstddef>
#include <utility>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/row_kernels.h"

namespace VELDRA_EDGESNAP {
namespace sse_kernels {

using F = __m128;
using Mask = __m128;
constexpr int kLanes = 4;
constexpr int kBatch = 4;
constexpr int kBlurBlock = 8;
constexpr int kColumnBlock = 2;
constexpr int kConvertGroup = 1;

inline F Splat(float value) { return _mm_set1_ps(value); }
inline F LoadF(const float* p) { return _mm_loadu_ps(p); }
inline void StoreF(float* p, F value) { _mm_storeu_ps(p, value); }
inline F Sqrt(F value) { return _mm_sqrt_ps(value); }
inline F Abs(F value) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), value); }
inline Mask Greater(F a, F b) { return _mm_cmpgt_ps(a, b); }
inline Mask GreaterEqual(F a, F b) { return _mm_cmpge_ps(a, b); }
inline F Select(Mask mask, F ifTrue, F ifFalse) {
  return _mm_or_ps(_mm_and_ps(mask, ifTrue), _mm_andnot_ps(mask, ifFalse));
}

inline void LoadBytesRgb(const unsigned char* p, F& red, F& green, F& blue) {
  const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i byteMask = _mm_set1_epi32(0xFF);
  red = _mm_cvtepi32_ps(_mm_and_si128(pixels, byteMask));
  green = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 8), byteMask));
  blue = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 16), byteMask));
}
template <int Count>
inline void CubeRootLanes(const F (&y)[Count], F (&root)[Count]) {
  for (int j = 0; j < Count; ++j) {
    alignas(16) float lanes[kLanes];
    _mm_store_ps(lanes, y[j]);
    for (float& lane : lanes) lane = lane > kLightnessThreshold ? powf(lane, kCubeRootExponent) : 0.0f;
    root[j] = _mm_load_ps(lanes);
  }
}

const RowKernels& Narrower() { return ScalarRowKernels(); }

#include "edgesnap/row_kernels_body.inl"

}  // namespace sse_kernels

const RowKernels& SseRowKernels() {
  static constexpr RowKernels kernels{"sse", sse_kernels::ConvertRow, sse_kernels::BlurRow,
                                      sse_kernels::BlurColumns, sse_kernels::TensorRow,
                                      sse_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP
