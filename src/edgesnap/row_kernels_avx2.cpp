// Eight floats per instruction: two pixels per blur vector, eight pixels per batch elsewhere. The
// functions of this file are compiled for AVX2 (without fused multiply-adds, which would change the
// rounding) and are only reached after a run-time check of the processor.
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

// Four registers of two pixels each hold pixels 0|1, 2|3, 4|5, 6|7. Unpacking within the 128-bit
// halves yields channel vectors in the order 0 2 4 6 | 1 3 5 7; one cross-lane permute restores
// the pixel order.
inline F ToPixelOrder(F evenOdd) {
  return _mm256_permutevar8x32_ps(evenOdd, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}
inline F ToEvenOddOrder(F ordered) {
  return _mm256_permutevar8x32_ps(ordered, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
}

inline void LoadPixels(const float* p, F& c0, F& c1, F& c2, F& c3) {
  const F p01 = _mm256_loadu_ps(p), p23 = _mm256_loadu_ps(p + 8);
  const F p45 = _mm256_loadu_ps(p + 16), p67 = _mm256_loadu_ps(p + 24);
  const F low0 = _mm256_unpacklo_ps(p01, p23), high0 = _mm256_unpackhi_ps(p01, p23);
  const F low1 = _mm256_unpacklo_ps(p45, p67), high1 = _mm256_unpackhi_ps(p45, p67);
  c0 = ToPixelOrder(_mm256_shuffle_ps(low0, low1, _MM_SHUFFLE(1, 0, 1, 0)));
  c1 = ToPixelOrder(_mm256_shuffle_ps(low0, low1, _MM_SHUFFLE(3, 2, 3, 2)));
  c2 = ToPixelOrder(_mm256_shuffle_ps(high0, high1, _MM_SHUFFLE(1, 0, 1, 0)));
  c3 = ToPixelOrder(_mm256_shuffle_ps(high0, high1, _MM_SHUFFLE(3, 2, 3, 2)));
}
inline F LoadChannel2(const float* p) {
  const F high0 = _mm256_unpackhi_ps(_mm256_loadu_ps(p), _mm256_loadu_ps(p + 8));
  const F high1 = _mm256_unpackhi_ps(_mm256_loadu_ps(p + 16), _mm256_loadu_ps(p + 24));
  return ToPixelOrder(_mm256_shuffle_ps(high0, high1, _MM_SHUFFLE(1, 0, 1, 0)));
}
inline void StorePixels(float* p, F c0, F c1, F c2, F c3) {
  c0 = ToEvenOddOrder(c0);
  c1 = ToEvenOddOrder(c1);
  c2 = ToEvenOddOrder(c2);
  c3 = ToEvenOddOrder(c3);
  const F low01 = _mm256_unpacklo_ps(c0, c1), high01 = _mm256_unpackhi_ps(c0, c1);
  const F low23 = _mm256_unpacklo_ps(c2, c3), high23 = _mm256_unpackhi_ps(c2, c3);
  _mm256_storeu_ps(p, _mm256_shuffle_ps(low01, low23, _MM_SHUFFLE(1, 0, 1, 0)));
  _mm256_storeu_ps(p + 8, _mm256_shuffle_ps(low01, low23, _MM_SHUFFLE(3, 2, 3, 2)));
  _mm256_storeu_ps(p + 16, _mm256_shuffle_ps(high01, high23, _MM_SHUFFLE(1, 0, 1, 0)));
  _mm256_storeu_ps(p + 24, _mm256_shuffle_ps(high01, high23, _MM_SHUFFLE(3, 2, 3, 2)));
}
inline F CubeRootLanes(F y) {
  alignas(32) float lanes[kLanes];
  _mm256_store_ps(lanes, y);
  for (float& lane : lanes) lane = lane > kLightnessThreshold ? powf(lane, kCubeRootExponent) : 0.0f;
  return _mm256_load_ps(lanes);
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

bool ProcessorHasAvx2() { return __builtin_cpu_supports("avx2"); }

const RowKernels& BestRowKernels() {
  static const RowKernels& best = ProcessorHasAvx2() ? Avx2RowKernels() : SseRowKernels();
  return best;
}

}  // namespace VELDRA_EDGESNAP
