// Eight floats per instruction: eight pixels of one channel per vector. The functions of this file
// are compiled for AVX2 (without fused multiply-adds, which would change the rounding) and are only
// reached after a run-time check of the processor.
#include <immintrin.h>

#include <cmath>
#include <cstddef>

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

// powf(y, kCubeRootExponent) bit for bit, for the lanes where y exceeds the lightness threshold,
// without calling powf for most of them. The exponent is exactly (1 + 2^-25) / 3, so
// y^exponent = c * c^(2^-25) with c the cube root of y, and c^(2^-25) = 1 + 2^-25 * ln(y) / 3 to far
// below float rounding. This is evaluated in double precision to a relative error under 1e-12 and
// rounded to float once. Rounding that value agrees with powf unless it lies within a hair of a
// midpoint between two floats (powf itself rounds a double result that is off by up to ~0.002 of a
// float ulp there); those rare lanes, under 1 in 50, are handed to powf. A test compares the result
// with powf for every colour.
constexpr int kInverseCubeRootMagic = 0x54A2FA8C;  // about (4/3) * 127 * 2^23, tuned for the mantissa
constexpr int kMidpointHalfWidth = 1 << 22;         // 1/128 float ulp in units of 2^-29 ulp

// ln(y) to within 1e-4, all it takes for the tiny correction term: y = 2^e * (1 + t), t in [0, 1),
// ln(1 + t) by a degree-4 least-squares fit.
inline F LogCoarse(F y) {
  const __m256i bits = _mm256_castps_si256(y);
  const F exponent =
      _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127)));
  const F t = _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x007FFFFF)),
                                                  _mm256_set1_epi32(0x3F800000))) -
              Splat(1.0f);
  const F series =
      Splat(0.99718769f) + t * (Splat(-0.46977440f) + t * (Splat(0.22310714f) + t * Splat(-0.05743296f)));
  return exponent * Splat(0.69314718f) + t * series;
}

// Four lanes in double: one Newton step for the inverse cube root z (from float accuracy to double),
// c = y z^2, and the correction.
inline __m256d PowerInDouble(__m128 yHalf, __m128 inverseCubeRootHalf, __m128 logHalf) {
  const __m256d y = _mm256_cvtps_pd(yHalf);
  __m256d z = _mm256_cvtps_pd(inverseCubeRootHalf);
  z = z * (_mm256_set1_pd(4.0) - y * (z * z * z)) * _mm256_set1_pd(1.0 / 3.0);
  const __m256d c = y * z * z;
  return c + c * (_mm256_cvtps_pd(logHalf) * _mm256_set1_pd(0x1p-25 / 3.0));
}

inline int NearMidpointMask(__m256d value) {
  // The low 29 of the 52 mantissa bits place the value within its float ulp; 2^28 is the midpoint.
  const __m256i low = _mm256_and_si256(_mm256_castpd_si256(value), _mm256_set1_epi64x(0x1FFFFFFF));
  const __m256i offset = _mm256_sub_epi64(low, _mm256_set1_epi64x((1 << 28) - kMidpointHalfWidth));
  const __m256i near = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), offset),
                                           _mm256_cmpgt_epi64(_mm256_set1_epi64x(2 * kMidpointHalfWidth), offset));
  return _mm256_movemask_pd(_mm256_castsi256_pd(near));
}

template <int Count>
inline void CubeRootLanes(const F (&y)[Count], F (&root)[Count]) {
  // Inverse cube root in float: exponent-dividing estimate, then three Newton steps to ~1e-7.
  const F third = Splat(1.0f / 3.0f);
  F z[Count], logY[Count];
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    z[j] = _mm256_castsi256_ps(
        _mm256_sub_epi32(_mm256_set1_epi32(kInverseCubeRootMagic),
                         _mm256_cvtps_epi32(_mm256_cvtepi32_ps(_mm256_castps_si256(y[j])) * third)));
    logY[j] = LogCoarse(y[j]);
  }
#pragma GCC unroll 3
  for (int step = 0; step < 3; ++step) {
#pragma GCC unroll 4
    for (int j = 0; j < Count; ++j) z[j] = z[j] * (Splat(4.0f) - y[j] * (z[j] * z[j] * z[j])) * third;
  }
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    const __m256d low = PowerInDouble(_mm256_castps256_ps128(y[j]), _mm256_castps256_ps128(z[j]),
                                      _mm256_castps256_ps128(logY[j]));
    const __m256d high = PowerInDouble(_mm256_extractf128_ps(y[j], 1), _mm256_extractf128_ps(z[j], 1),
                                       _mm256_extractf128_ps(logY[j], 1));
    root[j] = _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
    const int uncertain = (NearMidpointMask(low) | (NearMidpointMask(high) << 4)) &
                          _mm256_movemask_ps(Greater(y[j], Splat(kLightnessThreshold)));
    if (uncertain != 0) {
      alignas(32) float lanes[kLanes], inputs[kLanes];
      _mm256_store_ps(lanes, root[j]);
      _mm256_store_ps(inputs, y[j]);
      for (int lane = 0; lane < kLanes; ++lane)
        if (uncertain & (1 << lane)) lanes[lane] = powf(inputs[lane], kCubeRootExponent);
      root[j] = _mm256_load_ps(lanes);
    }
  }
}

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
  static constexpr RowKernels kernels{"avx2", avx2_kernels::ConvertRow, avx2_kernels::BlurSpan,
                                      avx2_kernels::TensorRow, avx2_kernels::OutputRow};
  return kernels;
}

}  // namespace VELDRA_EDGESNAP
