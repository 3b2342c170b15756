// powf(y, kCubeRootExponent) bit for bit for the wide kernels (AVX2, AVX-512), included once per
// instruction set inside that set's namespace, after its vector helpers and these primitives:
//   ExponentAsFloat(y)        the unbiased exponent of each lane, as a float
//   MantissaAsFloat(y)        each lane's mantissa with the exponent of 1, so in [1, 2)
//   MagicMinus(x)             kInverseCubeRootMagic minus x rounded to an integer, read as floats
//   BitsAsFloat(y)            each lane's bits read as an integer, converted to float
//   PowerRoundedOnce(y, z, l, near)  the power below, evaluated in double from y, the inverse cube
//                             root z and ln(y) = l and rounded to float once; near gets a bit per lane
//                             whose double value lies within kMidpointHalfWidth of a float midpoint
//   MaskBits(mask)            a bit per lane of a comparison's result
//
// The exponent is exactly (1 + 2^-25) / 3, so y^exponent = c * c^(2^-25) with c the cube root of y,
// and c^(2^-25) = 1 + 2^-25 * ln(y) / 3 to far below float rounding. This is evaluated in double
// precision to a relative error under 1e-12 and rounded to float once. Rounding that value agrees with
// powf unless it lies within a hair of a midpoint between two floats (powf itself rounds a double
// result that is off by up to ~0.002 of a float ulp there); those rare lanes, under 1 in 50, are
// handed to powf, as are none of the lanes at or below the lightness threshold (whose result the
// conversion does not use). A test compares the result with powf for every colour.
// ln(y) to within 1e-4, all it takes for the tiny correction term: y = 2^e * (1 + t), t in [0, 1),
// ln(1 + t) by a degree-4 least-squares fit.
inline F LogCoarse(F y) {
  const F exponent = ExponentAsFloat(y);
  const F t = MantissaAsFloat(y) - Splat(1.0f);
  const F series =
      Splat(0.99718769f) + t * (Splat(-0.46977440f) + t * (Splat(0.22310714f) + t * Splat(-0.05743296f)));
  return exponent * Splat(0.69314718f) + t * series;
}

template <int Count>
inline void CubeRootLanes(const F (&y)[Count], F (&root)[Count]) {
  // Inverse cube root in float: exponent-dividing estimate, then three Newton steps to ~1e-7.
  const F third = Splat(1.0f / 3.0f);
  F z[Count], logY[Count];
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    z[j] = MagicMinus(BitsAsFloat(y[j]) * third);
    logY[j] = LogCoarse(y[j]);
  }
#pragma GCC unroll 3
  for (int step = 0; step < 3; ++step) {
#pragma GCC unroll 4
    for (int j = 0; j < Count; ++j) z[j] = z[j] * (Splat(4.0f) - y[j] * (z[j] * z[j] * z[j])) * third;
  }
#pragma GCC unroll 4
  for (int j = 0; j < Count; ++j) {
    unsigned nearMidpoint = 0;
    root[j] = PowerRoundedOnce(y[j], z[j], logY[j], nearMidpoint);
    const unsigned uncertain = nearMidpoint & MaskBits(Greater(y[j], Splat(kLightnessThreshold)));
    if (uncertain != 0) {
      alignas(64) float lanes[kLanes], inputs[kLanes];
      StoreF(lanes, root[j]);
      StoreF(inputs, y[j]);
      for (int lane = 0; lane < kLanes; ++lane)
        if (uncertain & (1u << lane)) lanes[lane] = powf(inputs[lane], kCubeRootExponent);
      root[j] = LoadF(lanes);
    }
  }
}
