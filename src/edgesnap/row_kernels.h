// The per-row arithmetic of the edge snap pipeline as a table of functions, one table per instruction
// set (scalar, SSE, AVX2), and the choice of the best one for this processor.
#pragma once

#include <cstddef>

namespace VELDRA_EDGESNAP {

// The per-row arithmetic of the pipeline for one instruction set. Every implementation performs the
// same single-precision operations in the same order on each pixel (no fused multiply-adds), so all
// of them produce bit-identical results; they differ only in how many pixels share one instruction.
// Pixels are 4 floats; strides are in floats.
struct RowKernels {
  const char* name;

  // colour[x] = (L*, u*, v*, 0) of the bytes image[x], for x in [0, count).
  void (*convertRow)(const unsigned char* image, int count, float* colour);

  // out[i] = sum over taps k = 0 ... 20, in increasing k and starting from 0, of
  // taps[k] * source[i + k * tapStride], for the floats i in [0, floatCount); floatCount is a
  // multiple of 4. A tap stride of one pixel blurs along a row, of one row down a column.
  void (*blurSpan)(const float* source, std::ptrdiff_t tapStride, float* out, int floatCount,
                   const float* taps);

  // Structure tensor, dominant direction and strength of the blurred colours around centre[x]
  // (its row neighbours 4 floats away, its column neighbours rowStride floats away), written to
  // orientation[x] as (ex, ey, strength, 0), for x in [0, count).
  void (*tensorRow)(const float* centre, std::ptrdiff_t rowStride, float* orientation, int count);

  // Projects the strength gradient around orientation centre[x] onto its direction and writes the
  // two components to snapX[x] and snapY[x], for x in [0, count).
  void (*outputRow)(const float* centre, std::ptrdiff_t rowStride, float* snapX, float* snapY,
                    int count);
};

const RowKernels& ScalarRowKernels();
const RowKernels& SseRowKernels();
const RowKernels& Avx2RowKernels();  // only on processors with AVX2

bool ProcessorHasAvx2();

// The widest implementation this processor runs.
const RowKernels& BestRowKernels();

}  // namespace VELDRA_EDGESNAP
