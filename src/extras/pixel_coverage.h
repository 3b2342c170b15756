// How much of a pixel's square lies inside the selection, from the field at nine points of the
// square. Pixel (px, py) is the unit square centred on (px, py), the point at which the two-level
// read-out samples it. Every line along which the interpolated field changes its formula lies on a
// multiple of half a pixel, so each quarter of the square holds one bilinear piece, fixed by the
// field at its four corners: nine values describe the field over the whole square exactly.
#pragma once

namespace VELDRA_EXTRAS_CORE {

// v[r][c] is the field at (px + (c - 1) / 2, py + (r - 1) / 2).
struct PixelField {
  float v[3][3];
};

// Fraction of the square where the field is at most `level`: each quarter's region is the polygon
// through its corners and the crossings on its sides (exact where the piece is planar), pieces that
// twist strongly (saddles) being split further into their own bilinear parts.
float CoveredFraction(const PixelField& f, float level);

// Alpha of the pixel in [0, 1]. Without feather the covered fraction at level 0. With feather F the
// mean over the square of 1 - K(field), where K rises smoothly (a cubic smoothstep) from 0 at -F to 1
// at +F: the plain edge widened symmetrically around the boundary. It is computed as the covered
// fraction at level s averaged with K's density over s, which tends to the plain alpha as F -> 0.
float PixelAlpha(const PixelField& f, float feather);

// Alpha as a byte: 255 fully inside, 0 fully outside, rounded to nearest.
inline unsigned char AlphaByte(float alpha) {
  const float scaled = alpha * 255.0f + 0.5f;
  return static_cast<unsigned char>(scaled <= 0.0f ? 0 : (scaled >= 255.0f ? 255 : static_cast<int>(scaled)));
}

}  // namespace VELDRA_EXTRAS_CORE
