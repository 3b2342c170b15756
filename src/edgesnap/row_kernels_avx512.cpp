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
constexpr int kConvertGroup = 4;

inline F Splat(float value) { return _mm512_set1_ps(value); }
inline F LoadF(const float* p) { return _mm512_loadu_ps(p); }
inline void StoreF(float* p, F value) { _mm512_storeu_ps(p, value); }
inline F Sqrt(F value) { return _mm512_sqrt_ps(value); }
inline F Abs(F value) {
  return _mm512_castsi512_ps(_mm512_andnot_si512(_mm512_castps_si512(_mm512_set1_ps(-0.0f)), _mm512_castps_si512(value)));
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

// The cube root as the AVX2 kernels take it (see there): an estimate refined in float, the power in
// double with a small correction, rounded once, and powf for the lanes near a rounding midpoint.
constexpr int kInverseCubeRootMagic = 0x54A2FA8C;
constexpr int kMidpointHalfWidth = 1 << 22;

inline F LogCoarse(F y) {
  const __m512i bits = _mm512_castps_si512(y);
  const F exponent =
      _mm512_cvtepi32_ps(_mm512_sub_epi32(_mm512_srli_epi32(bits, 23), _mm512_set1_epi32(127)));
  const F t = _mm512_castsi512_ps(_mm512_or_si512(_mm512_and_si512(bits, _mm512_set1_epi32(0x007FFFFF)),
                                                  _mm512_set1_epi32(0x3F800000))) -
              Splat(1.0f);
  const F series =
      Splat(0.99718769f) + t * (Splat(-0.46977440f) + t * (Splat(0.22310714f) + t * Splat(-0.05743296f)));
  return exponent * Splat(0.69314718f) + t * series;
}

inline __m512d PowerInDouble(__m256 yHalf, __m256 inverseCubeRootHalf, __m256 logHalf) {
  const __m512d y = _mm512_cvtps_pd(yHalf);
  __m512d z = _mm512_cvtps_pd(inverseCubeRootHalf);
  z = z * (_mm512_set1_pd(4.0) - y * (z * z * z)) * _mm512_set1_pd(1.0 / 3.0);
  const __m512d c = y * z * z;
  return c + c * (_mm512_cvtps_pd(logHalf) * _mm512_set1_pd(0x1p-25 / 3.0));
}

inline unsigned NearMidpointMask(__m512d value) {
  const __m512i low = _mm512_and_si512(_mm512_castpd_si512(value), _mm512_set1_epi64(0x1FFFFFFF));
  const __m512i offset = _mm512_sub_epi64(low, _mm512_set1_epi64((1 << 28) - kMidpointHalfWidth));
  return _mm512_cmpge_epi64_mask(offset, _mm512_setzero_si512()) &
         _mm512_cmplt_epi64_mask(offset, _mm512_set1_epi64(2 * kMidpointHalfWidth));
}

inline __m256 LowerHalf(F value) { return _mm512_castps512_ps256(value); }
inline __m256 UpperHalf(F value) { return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(value), 1)); }
inline F Join(__m256 lower, __m256 upper) {
  return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castps_pd(_mm512_castps256_ps512(lower)), _mm256_castps_pd(upper), 1));
}

template <int Count>
inline void CubeRootLanes(const F (&y)[Count], F (&root)[Count]) {
  const F third = Splat(1.0f / 3.0f);
  F z[Count], logY[Count];
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    z[j] = _mm512_castsi512_ps(
        _mm512_sub_epi32(_mm512_set1_epi32(kInverseCubeRootMagic),
                         _mm512_cvtps_epi32(_mm512_cvtepi32_ps(_mm512_castps_si512(y[j])) * third)));
    logY[j] = LogCoarse(y[j]);
  }
#pragma GCC unroll 3
  for (int step = 0; step < 3; ++step) {
#pragma GCC unroll 4
    for (int j = 0; j < Count; ++j) z[j] = z[j] * (Splat(4.0f) - y[j] * (z[j] * z[j] * z[j])) * third;
  }
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    const __m512d low = PowerInDouble(LowerHalf(y[j]), LowerHalf(z[j]), LowerHalf(logY[j]));
    const __m512d high = PowerInDouble(UpperHalf(y[j]), UpperHalf(z[j]), UpperHalf(logY[j]));
    root[j] = Join(_mm512_cvtpd_ps(low), _mm512_cvtpd_ps(high));
    const unsigned uncertain =
        (NearMidpointMask(low) | (NearMidpointMask(high) << 8)) & Greater(y[j], Splat(kLightnessThreshold));
    if (uncertain != 0) {
      alignas(64) float lanes[kLanes], inputs[kLanes];
      _mm512_store_ps(lanes, root[j]);
      _mm512_store_ps(inputs, y[j]);
      for (int lane = 0; lane < kLanes; ++lane)
        if (uncertain & (1u << lane)) lanes[lane] = powf(inputs[lane], kCubeRootExponent);
      root[j] = _mm512_load_ps(lanes);
    }
  }
}

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
  static constexpr RowKernels kernels{"avx512", avx512_kernels::ConvertRow, avx512_kernels::BlurSpan,
                                      avx512_kernels::TensorRow, avx512_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
