// Generic body of the row kernels, included once per instruction set inside that set's namespace.
// The including file defines, in the enclosing namespace:
//   F, Mask                 a vector of kLanes floats and its comparison result
//   kLanes, kBatch          floats per F; pixels per structure-of-arrays batch (== kLanes)
//   kBlurBlock              F accumulators kept in registers by the blur along rows
//   kColumnBlock            F accumulators per output row kept in registers by the column blur
//   Splat, LoadF, StoreF, Sqrt, Abs, Greater, GreaterEqual, Select
//   LoadBytesRgb            kBatch pixels of bytes -> byte values of red, green, blue as floats
//   CubeRootLanes<Count>    powf(y, kCubeRootExponent) in every lane of Count vectors where y
//                           exceeds the lightness threshold (other lanes: anything)
//   kConvertGroup           batches converted side by side
//   Narrower()              the kernels to use for spans shorter than one vector
// Arithmetic goes through the vector operators one operation at a time, in the pipeline's order;
// nothing here may be contracted or reassociated.

// Count batches side by side, so that the long dependency chains of the divisions and the cube
// root of one batch overlap with those of the others.
template <int Count>
static void ConvertBatches(const unsigned char* image, float* colour, std::ptrdiff_t planeStride) {
  F x[Count], y[Count], z[Count], uPrime[Count], vPrime[Count], cubeRoot[Count];
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    F red, green, blue;
    LoadBytesRgb(image + 4 * kBatch * j, red, green, blue);
    const F scale = Splat(kByteScale);
    red = red * scale;
    green = green * scale;
    blue = blue * scale;
    x[j] = (Splat(kRgbToXyz[0][0]) * red + Splat(kRgbToXyz[0][1]) * green) +
           Splat(kRgbToXyz[0][2]) * blue;
    y[j] = (Splat(kRgbToXyz[1][0]) * red + Splat(kRgbToXyz[1][1]) * green) +
           Splat(kRgbToXyz[1][2]) * blue;
    z[j] = (Splat(kRgbToXyz[2][0]) * red + Splat(kRgbToXyz[2][1]) * green) +
           Splat(kRgbToXyz[2][2]) * blue;
  }
  CubeRootLanes<Count>(y, cubeRoot);
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    const F q = ((Splat(15.0f) * y[j] + x[j]) + Splat(3.0f) * z[j]) + Splat(kDenominatorGuard);
    uPrime[j] = (Splat(4.0f) * x[j]) / q;
    vPrime[j] = (Splat(9.0f) * y[j]) / q;
  }
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    const F lightness = Select(Greater(y[j], Splat(kLightnessThreshold)),
                               Splat(116.0f) * cubeRoot[j] - Splat(16.0f),
                               Splat(kLightnessSlope) * y[j]);
    const F u = (Splat(13.0f) * lightness) * (uPrime[j] - Splat(kWhiteU));
    const F v = (Splat(13.0f) * lightness) * (vPrime[j] - Splat(kWhiteV));
    StoreF(colour + kBatch * j, lightness);
    StoreF(colour + planeStride + kBatch * j, u);
    StoreF(colour + 2 * planeStride + kBatch * j, v);
  }
}

static void ConvertRow(const unsigned char* image, int count, float* colour, std::ptrdiff_t planeStride) {
  if (count < kBatch) {
    Narrower().convertRow(image, count, colour, planeStride);
    return;
  }
  int x = 0;
  for (; x + kConvertGroup * kBatch <= count; x += kConvertGroup * kBatch)
    ConvertBatches<kConvertGroup>(image + 4 * x, colour + x, planeStride);
  for (; x + kBatch <= count; x += kBatch) ConvertBatches<1>(image + 4 * x, colour + x, planeStride);
  // The last batch overlaps the previous one and rewrites the same values.
  if (x < count) ConvertBatches<1>(image + 4 * (count - kBatch), colour + (count - kBatch), planeStride);
}

template <int Accumulators>
static void BlurBlock(const float* source, float* out, const float* taps) {
  F sum[Accumulators];
#pragma GCC unroll 16
  for (int j = 0; j < Accumulators; ++j) sum[j] = Splat(0.0f);
  for (int k = 0; k < kKernelTaps; ++k) {
    const F tap = Splat(taps[k]);
#pragma GCC unroll 16
    for (int j = 0; j < Accumulators; ++j) sum[j] = sum[j] + tap * LoadF(source + k + j * kLanes);
  }
#pragma GCC unroll 16
  for (int j = 0; j < Accumulators; ++j) StoreF(out + j * kLanes, sum[j]);
}

static void BlurRow(const float* source, float* out, int floatCount, const float* taps) {
  if (floatCount < kLanes) {
    Narrower().blurRow(source, out, floatCount, taps);
    return;
  }
  int i = 0;
  for (; i + kBlurBlock * kLanes <= floatCount; i += kBlurBlock * kLanes)
    BlurBlock<kBlurBlock>(source + i, out + i, taps);
  for (; i + kLanes <= floatCount; i += kLanes) BlurBlock<1>(source + i, out + i, taps);
  if (i < floatCount) {
    const int last = floatCount - kLanes;
    BlurBlock<1>(source + last, out + last, taps);
  }
}

// Source row m feeds output row j with tap m - j; the loop over m is unrolled whole, so only the
// products each output row takes are formed, and each row's sum still runs in increasing tap order.
template <int Rows, int Accumulators>
static void BlurColumnsBlock(const float* const* source, std::ptrdiff_t offset, float* const* out,
                             const float* taps) {
  F sum[Rows][Accumulators];
#pragma GCC unroll 16
  for (int j = 0; j < Rows; ++j)
#pragma GCC unroll 16
    for (int a = 0; a < Accumulators; ++a) sum[j][a] = Splat(0.0f);
#pragma GCC unroll 32
  for (int m = 0; m < kKernelTaps + Rows - 1; ++m) {
    F in[Accumulators];
#pragma GCC unroll 16
    for (int a = 0; a < Accumulators; ++a) in[a] = LoadF(source[m] + offset + a * kLanes);
#pragma GCC unroll 16
    for (int j = 0; j < Rows; ++j) {
      const int k = m - j;
      if (k < 0 || k >= kKernelTaps) continue;
      const F tap = Splat(taps[k]);
#pragma GCC unroll 16
      for (int a = 0; a < Accumulators; ++a) sum[j][a] = sum[j][a] + tap * in[a];
    }
  }
#pragma GCC unroll 16
  for (int j = 0; j < Rows; ++j)
#pragma GCC unroll 16
    for (int a = 0; a < Accumulators; ++a) StoreF(out[j] + offset + a * kLanes, sum[j][a]);
}

template <int Rows>
static void BlurColumnsOf(const float* const* source, float* const* out, int floatCount, const float* taps) {
  int i = 0;
  for (; i + kColumnBlock * kLanes <= floatCount; i += kColumnBlock * kLanes)
    BlurColumnsBlock<Rows, kColumnBlock>(source, i, out, taps);
  for (; i + kLanes <= floatCount; i += kLanes) BlurColumnsBlock<Rows, 1>(source, i, out, taps);
  // The last vector overlaps the previous one and rewrites the same values.
  if (i < floatCount) BlurColumnsBlock<Rows, 1>(source, floatCount - kLanes, out, taps);
}

template <int... Counts>
static void BlurColumnsOfCount(const float* const* source, float* const* out, int rows, int floatCount,
                               const float* taps, std::integer_sequence<int, Counts...>) {
  using Blur = void (*)(const float* const*, float* const*, int, const float*);
  static constexpr Blur kByCount[] = {BlurColumnsOf<Counts + 1>...};
  kByCount[rows - 1](source, out, floatCount, taps);
}

static void BlurColumns(const float* const* source, float* const* out, int rows, int floatCount,
                        const float* taps) {
  if (floatCount < kLanes) {
    Narrower().blurColumns(source, out, rows, floatCount, taps);
    return;
  }
  BlurColumnsOfCount(source, out, rows, floatCount, taps, std::make_integer_sequence<int, kColumnBlurRows>());
}

// The colours have three channels; the sums over channels end with a fourth term of exactly +0 (a
// zero channel's square or product), which turns a sum of -0 into +0 and is kept for that.
static void TensorBatch(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                        float* orientation, std::ptrdiff_t orientationPlaneStride) {
  const F half = Splat(0.5f);
  F gx[3], gy[3];
#pragma GCC unroll 3
  for (int c = 0; c < 3; ++c) {
    const float* plane = centre + c * planeStride;
    gx[c] = (LoadF(plane + 1) - LoadF(plane - 1)) * half;
    gy[c] = (LoadF(plane + toBelow) - LoadF(plane + toAbove)) * half;
  }
  const F zero = Splat(0.0f);
  const F a = ((gx[0] * gx[0] + gx[1] * gx[1]) + gx[2] * gx[2]) + zero;
  const F b = ((gx[0] * gy[0] + gx[1] * gy[1]) + gx[2] * gy[2]) + zero;
  const F d = ((gy[0] * gy[0] + gy[1] * gy[1]) + gy[2] * gy[2]) + zero;
  const F guard = Splat(kTensorGuard);
  const F aMinusD = a - d;
  const F root = Sqrt(((Splat(4.0f) * b) * b + aMinusD * aMinusD) + guard) * half;
  const F mean = (a + d) * half;
  const F larger = mean + root;
  const F smaller = mean - root;
  const F lambda = Select(Greater(Abs(smaller), Abs(larger)), smaller, larger);
  const F aGap = a - lambda;
  const F dGap = d - lambda;
  const F minusB = -b;
  const Mask fromA = Greater(Abs(aGap), Abs(dGap));
  const F px = Select(fromA, minusB, dGap);
  const F py = Select(fromA, aGap, minusB);
  const F norm = Sqrt(px * px + py * py) + guard;
  StoreF(orientation, px / norm);
  StoreF(orientation + orientationPlaneStride, py / norm);
  StoreF(orientation + 2 * orientationPlaneStride, Sqrt(lambda + guard));
}

static void TensorRow(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                      float* orientation, std::ptrdiff_t orientationPlaneStride, int count) {
  if (count < kBatch) {
    Narrower().tensorRow(centre, toAbove, toBelow, planeStride, orientation, orientationPlaneStride, count);
    return;
  }
  int x = 0;
  for (; x + kBatch <= count; x += kBatch)
    TensorBatch(centre + x, toAbove, toBelow, planeStride, orientation + x, orientationPlaneStride);
  if (x < count) {
    const int last = count - kBatch;
    TensorBatch(centre + last, toAbove, toBelow, planeStride, orientation + last, orientationPlaneStride);
  }
}

// Derivative of the strength across the centre: the central difference where the strength is
// monotone through the centre, otherwise the steeper one-sided difference.
static F StrengthDerivative(F before, F centre, F after) {
  const F backward = centre - before;
  const F forward = after - centre;
  const F central = (after - before) * Splat(0.5f);
  const F oneSided = Select(Greater(Abs(backward), Abs(forward)), backward, forward);
  return Select(GreaterEqual(forward * backward, Splat(0.0f)), central, oneSided);
}

static void OutputBatch(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                        float* snapX, float* snapY) {
  const F ex = LoadF(centre), ey = LoadF(centre + planeStride);
  const float* strength = centre + 2 * planeStride;
  const F dx = StrengthDerivative(LoadF(strength - 1), LoadF(strength), LoadF(strength + 1));
  const F dy = StrengthDerivative(LoadF(strength + toAbove), LoadF(strength), LoadF(strength + toBelow));
  const F t = ex * dx + ey * dy;
  StoreF(snapX, ex * t);
  StoreF(snapY, ey * t);
}

static void OutputRow(const float* centre, std::ptrdiff_t toAbove, std::ptrdiff_t toBelow, std::ptrdiff_t planeStride,
                      float* snapX, float* snapY, int count) {
  if (count < kBatch) {
    Narrower().outputRow(centre, toAbove, toBelow, planeStride, snapX, snapY, count);
    return;
  }
  int x = 0;
  for (; x + kBatch <= count; x += kBatch)
    OutputBatch(centre + x, toAbove, toBelow, planeStride, snapX + x, snapY + x);
  if (x < count) {
    const int last = count - kBatch;
    OutputBatch(centre + last, toAbove, toBelow, planeStride, snapX + last, snapY + last);
  }
}
