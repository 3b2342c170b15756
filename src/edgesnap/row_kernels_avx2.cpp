// Eight floats per instruction: eight pixels of one channel per vector. The functions of this file
// are compiled for AVX2 (without fused multiply-adds, which would change the rounding) and are only
// reached after a run-time check of the processor.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <utility>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/row_kernels.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace VELDRA_EDGESNAP {
namespace avx2_kernels {

using F = __m256;
using Mask = __m256;
constexpr int kLanes = 8;
constexpr int kBatch = 8;
constexpr int kBlurBlock = 8;
constexpr int kColumnBlock = 2;
constexpr int kConvertGroup = 4;

inline F Splat(float value) { return _mm256_set1_ps(value); }
inline F LoadF(const float* p) { return _mm256_loadu_ps(p); }
inline void StoreF(float* p, F value) { _mm256_storeu_ps(p, value); }
inline F Sqrt(F value) { return _mm256_sqrt_ps(value); }
inline F Abs(F value) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), value); }
inline Mask Greater(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
inline Mask GreaterEqual(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
inline F Select(Mask mask, F ifTrue, F ifFalse) { return _mm256_blendv_ps(ifFalse, ifTrue, mask); }

inline void LoadBytesRgb(const unsigned char* p, F& red, F& green, F& blue) {
  const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i byteMask = _mm256_set1_epi32(0xFF);
  red = _mm256_cvtepi32_ps(_mm256_and_si256(pixels, byteMask));
  green = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(pixels, 8), byteMask));
  blue = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(pixels, 16), byteMask));
}

// The primitives of the cube root (cube_root_lanes.inl), eight lanes at a time; the power in double
// takes four lanes at a time.
inline F ExponentAsFloat(F y) {
  return _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(_mm256_castps_si256(y), 23), _mm256_set1_epi32(127)));
}
inline F MantissaAsFloat(F y) {
  return _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(_mm256_castps_si256(y), _mm256_set1_epi32(0x007FFFFF)),
                                             _mm256_set1_epi32(0x3F800000)));
}
inline F BitsAsFloat(F y) { return _mm256_cvtepi32_ps(_mm256_castps_si256(y)); }
inline F MagicMinus(F x) {
  return _mm256_castsi256_ps(_mm256_sub_epi32(_mm256_set1_epi32(kInverseCubeRootMagic), _mm256_cvtps_epi32(x)));
}
inline unsigned MaskBits(Mask mask) { return static_cast<unsigned>(_mm256_movemask_ps(mask)); }

// One Newton step for the inverse cube root z (from float accuracy to double), c = y z^2, and the
// correction.
inline __m256d PowerInDouble(__m128 yHalf, __m128 inverseCubeRootHalf, __m128 logHalf) {
  const __m256d y = _mm256_cvtps_pd(yHalf);
  __m256d z = _mm256_cvtps_pd(inverseCubeRootHalf);
  z = z * (_mm256_set1_pd(4.0) - y * (z * z * z)) * _mm256_set1_pd(1.0 / 3.0);
  const __m256d c = y * z * z;
  return c + c * (_mm256_cvtps_pd(logHalf) * _mm256_set1_pd(0x1p-25 / 3.0));
}

// The low 29 of the 52 mantissa bits place the value within its float ulp; 2^28 is the midpoint.
inline unsigned NearMidpointMask(__m256d value) {
  const __m256i low = _mm256_and_si256(_mm256_castpd_si256(value), _mm256_set1_epi64x(0x1FFFFFFF));
  const __m256i offset = _mm256_sub_epi64(low, _mm256_set1_epi64x((1 << 28) - kMidpointHalfWidth));
  const __m256i near = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), offset),
                                           _mm256_cmpgt_epi64(_mm256_set1_epi64x(2 * kMidpointHalfWidth), offset));
  return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(near)));
}

inline F PowerRoundedOnce(F y, F z, F logY, unsigned& nearMidpoint) {
  const __m256d low = PowerInDouble(_mm256_castps256_ps128(y), _mm256_castps256_ps128(z), _mm256_castps256_ps128(logY));
  const __m256d high =
      PowerInDouble(_mm256_extractf128_ps(y, 1), _mm256_extractf128_ps(z, 1), _mm256_extractf128_ps(logY, 1));
  nearMidpoint = NearMidpointMask(low) | (NearMidpointMask(high) << 4);
  return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
}

#include "edgesnap/cube_root_lanes.inl"

const RowKernels& Narrower() { return SseRowKernels(); }

#include "edgesnap/row_kernels_body.inl"

}  // namespace avx2_kernels
}  // namespace VELDRA_EDGESNAP

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace VELDRA_EDGESNAP {

const RowKernels& Avx2RowKernels() {
  static constexpr RowKernels kernels{"avx2", avx2_kernels::ConvertRow, avx2_kernels::BlurRow,
                                      avx2_kernels::BlurColumns, avx2_kernels::TensorRow,
                                      avx2_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP
