// The per-row arithmetic of the edge snap pipeline as a table of functions, one table per instruction
// set (scalar, SSE, AVX2, AVX-512), and the choice of the best one for this processor.
#pragma once

#include <cstddef>

namespace VELDRA_EDGESNAP {

// Most rows one column blur call produces: input rows are loaded once for up to this many output rows.
inline constexpr int kColumnBlurRows = 6;

// The per-row arithmetic of the pipeline for one instruction set. Every implementation performs the
// same single-precision operations in the same order on each pixel (no fused multiply-adds), so all
// of them produce bit-identical results; they differ only in how many pixels share one instruction.
// Rows are stored by channel planes (WorkImage): channel c of pixel x lies c plane strides after
// channel 0. Strides are in floats.
struct RowKernels {
  const char* name;

  // (L*, u*, v*) of the bytes image[x] into colour[x], colour[x + planeStride] and
  // colour[x + 2 planeStride], for x in [0, count).
  void (*convertRow)(const unsigned char* image, int count, float* colour, std::ptrdiff_t planeStride);

  // The blur along a row of one plane: out[i] = sum over taps k = 0 ... 20, in increasing k and
  // starting from 0, of taps[k] * source[i + k], for the floats i in [0, floatCount).
  void (*blurRow)(const float* source, float* out, int floatCount, const float* taps);

  // The same blur down the columns of `rows` consecutive output rows (1 ... kColumnBlurRows) at once:
  // out[j][i] = sum over taps k = 0 ... 20, in increasing k and starting from 0, of
  // taps[k] * source[j + k][i], for j in [0, rows) and the floats i in [0, floatCount). Each source row
  // is loaded once for every output row it feeds: one output row at a time, the 21 rows of a wide
  // block's window do not fit the first-level cache and every output row reread them from the second.
  void (*blurColumns)(const float* const* source, float* const* out, int rows, int floatCount,
                      const float* taps);

  // Structure tensor, dominant direction and strength of the blurred colours around centre[x] (three
  // planes planeStride apart; row neighbours one float away, the pixels above and below toAbove and
  // toBelow floats away, so the three rows may lie anywhere in one allocation), written as ex, ey and
  // strength to the three planes of orientation (orientationPlaneStride apart), for x in [0, count).
  void (*tensorRow)(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                    float* orientation, std::ptrdiff_t orientationPlaneStride, int count);

  // Projects the strength gradient around orientation centre[x] (planes ex, ey, strength, planeStride
  // apart; rows above and below as for tensorRow) onto its direction and writes the two components to
  // snapX[x] and snapY[x], for x in [0, count).
  void (*outputRow)(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                    float* snapX, float* snapY, int count);
};

const RowKernels& ScalarRowKernels();
const RowKernels& SseRowKernels();
const RowKernels& Avx2RowKernels();    // only on processors with AVX2
const RowKernels& Avx512RowKernels();  // only on processors with AVX-512F (which all have AVX2)

bool ProcessorHasAvx2();
bool ProcessorHasAvx512();

// The widest implementation this processor runs.
const RowKernels& BestRowKernels();

}  // namespace VELDRA_EDGESNAP
