// The fixed numbers of the edge snap pipeline. Every value is single precision and used as written:
// the results of the pipeline are part of the library's contract.
#pragma once

namespace VELDRA_EDGESNAP {

// Pixels the host supplies around the output block on every side.
inline constexpr int kMargin = 12;

// Symmetric Gaussian, taps -10 ... 10.
inline constexpr int kKernelTaps = 21;
inline constexpr int kKernelRadius = (kKernelTaps - 1) / 2;
inline constexpr float kGaussianTaps[kKernelTaps] = {
    0.004481f, 0.008089f, 0.013722f, 0.021874f, 0.032768f, 0.046128f, 0.061021f,
    0.075856f, 0.088613f, 0.097274f, 0.100346f, 0.097274f, 0.088613f, 0.075856f,
    0.061021f, 0.046128f, 0.032768f, 0.021874f, 0.013722f, 0.008089f, 0.004481f};

// Colour conversion: bytes to [0, 1] without gamma decoding, sRGB (D65) primaries to CIE XYZ, then
// CIE 1976 L*u*v* against the D65 white.
inline constexpr float kByteScale = 0.003921569f;
inline constexpr float kRgbToXyz[3][3] = {{0.412453f, 0.357580f, 0.180423f},
                                          {0.212671f, 0.715160f, 0.072169f},
                                          {0.019334f, 0.119193f, 0.950227f}};
inline constexpr float kLightnessThreshold = 0.008856452f;
inline constexpr float kLightnessSlope = 903.2963f;
inline constexpr float kCubeRootExponent = 0.33333334f;
// The wide kernels' cube root (cube_root_lanes.inl): the bits of an estimate of the inverse cube root
// are this minus a third of the input's bits, about (4/3) * 127 * 2^23, tuned for the mantissa; and a
// double-precision value is near a float rounding midpoint within this many units of 2^-29 float ulp
// (1/128 of an ulp).
inline constexpr int kInverseCubeRootMagic = 0x54A2FA8C;
inline constexpr int kMidpointHalfWidth = 1 << 22;
inline constexpr float kWhiteU = 0.19783303f;
inline constexpr float kWhiteV = 0.46833044f;
inline constexpr float kDenominatorGuard = 1e-10f;

// Keeps the eigen decomposition and the strength away from square roots of zero and divisions by it.
inline constexpr float kTensorGuard = 1e-7f;

}  // namespace VELDRA_EDGESNAP
