// Sixteen floats per instruction: sixteen pixels of one channel per vector. The functions of this file
// are compiled for AVX-512F (the project compiles with contraction off, so no fused multiply-adds
// change the rounding) and are only reached after a run-time check of the processor. Every lane does
// what a lane of the AVX2 kernels does, in the same order.
//
// GCC 12's AVX-512 intrinsics start their results from deliberately undefined vectors, which its
// uninitialised-value warnings report at every use; those warnings are off for this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <utility>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/row_kernels.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

namespace VELDRA_EDGESNAP {
namespace avx512_kernels {

using F = __m512;
using Mask = __mmask16;
constexpr int kLanes = 16;
constexpr int kBatch = 16;
constexpr int kBlurBlock = 8;
constexpr int kColumnBlock = 1;
constexpr int kConvertGroup = 4;

inline F Splat(float value) { return _mm512_set1_ps(value); }
inline F LoadF(const float* p) { return _mm512_loadu_ps(p); }
inline void StoreF(float* p, F value) { _mm512_storeu_ps(p, value); }
inline F Sqrt(F value) { return _mm512_sqrt_ps(value); }
inline F Abs(F value) {
  const __m512i sign = _mm512_castps_si512(_mm512_set1_ps(-0.0f));
  return _mm512_castsi512_ps(_mm512_andnot_si512(sign, _mm512_castps_si512(value)));
}
inline Mask Greater(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
inline Mask GreaterEqual(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
inline F Select(Mask mask, F ifTrue, F ifFalse) { return _mm512_mask_blend_ps(mask, ifFalse, ifTrue); }

inline void LoadBytesRgb(const unsigned char* p, F& red, F& green, F& blue) {
  const __m512i pixels = _mm512_loadu_si512(p);
  const __m512i byteMask = _mm512_set1_epi32(0xFF);
  red = _mm512_cvtepi32_ps(_mm512_and_si512(pixels, byteMask));
  green = _mm512_cvtepi32_ps(_mm512_and_si512(_mm512_srli_epi32(pixels, 8), byteMask));
  blue = _mm512_cvtepi32_ps(_mm512_and_si512(_mm512_srli_epi32(pixels, 16), byteMask));
}

// The primitives of the cube root (cube_root_lanes.inl), sixteen lanes at a time; the power in double
// takes eight lanes at a time.
inline F ExponentAsFloat(F y) {
  return _mm512_cvtepi32_ps(_mm512_sub_epi32(_mm512_srli_epi32(_mm512_castps_si512(y), 23), _mm512_set1_epi32(127)));
}
inline F MantissaAsFloat(F y) {
  return _mm512_castsi512_ps(_mm512_or_si512(_mm512_and_si512(_mm512_castps_si512(y), _mm512_set1_epi32(0x007FFFFF)),
                                             _mm512_set1_epi32(0x3F800000)));
}
inline F BitsAsFloat(F y) { return _mm512_cvtepi32_ps(_mm512_castps_si512(y)); }
inline F MagicMinus(F x) {
  return _mm512_castsi512_ps(_mm512_sub_epi32(_mm512_set1_epi32(kInverseCubeRootMagic), _mm512_cvtps_epi32(x)));
}
inline unsigned MaskBits(Mask mask) { return mask; }

// As the AVX2 kernels' PowerInDouble, on eight lanes.
inline __m512d PowerInDouble(__m256 yHalf, __m256 inverseCubeRootHalf, __m256 logHalf) {
  const __m512d y = _mm512_cvtps_pd(yHalf);
  __m512d z = _mm512_cvtps_pd(inverseCubeRootHalf);
  z = z * (_mm512_set1_pd(4.0) - y * (z * z * z)) * _mm512_set1_pd(1.0 / 3.0);
  const __m512d c = y * z * z;
  return c + c * (_mm512_cvtps_pd(logHalf) * _mm512_set1_pd(0x1p-25 / 3.0));
}

// The low 29 of the 52 mantissa bits place the value within its float ulp; 2^28 is the midpoint.
inline unsigned NearMidpointMask(__m512d value) {
  const __m512i low = _mm512_and_si512(_mm512_castpd_si512(value), _mm512_set1_epi64(0x1FFFFFFF));
  const __m512i offset = _mm512_sub_epi64(low, _mm512_set1_epi64((1 << 28) - kMidpointHalfWidth));
  return _mm512_cmpge_epi64_mask(offset, _mm512_setzero_si512()) &
         _mm512_cmplt_epi64_mask(offset, _mm512_set1_epi64(2 * kMidpointHalfWidth));
}

inline __m256 UpperHalf(F value) { return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(value), 1)); }

inline F PowerRoundedOnce(F y, F z, F logY, unsigned& nearMidpoint) {
  const __m512d low = PowerInDouble(_mm512_castps512_ps256(y), _mm512_castps512_ps256(z), _mm512_castps512_ps256(logY));
  const __m512d high = PowerInDouble(UpperHalf(y), UpperHalf(z), UpperHalf(logY));
  nearMidpoint = NearMidpointMask(low) | (NearMidpointMask(high) << 8);
  const __m256 lower = _mm512_cvtpd_ps(low), upper = _mm512_cvtpd_ps(high);
  const __m512d lowerLanes = _mm512_castps_pd(_mm512_castps256_ps512(lower));
  return _mm512_castpd_ps(_mm512_insertf64x4(lowerLanes, _mm256_castps_pd(upper), 1));
}

#include "edgesnap/cube_root_lanes.inl"

const RowKernels& Narrower() { return Avx2RowKernels(); }

#include "edgesnap/row_kernels_body.inl"

}  // namespace avx512_kernels
}  // namespace VELDRA_EDGESNAP

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace VELDRA_EDGESNAP {

const RowKernels& Avx512RowKernels() {
  static constexpr RowKernels kernels{"avx512", avx512_kernels::ConvertRow, avx512_kernels::BlurRow,
                                      avx512_kernels::BlurColumns, avx512_kernels::TensorRow,
                                      avx512_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
