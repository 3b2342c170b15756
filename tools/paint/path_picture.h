// The traced path in pictures: drawn into the overlay, and as selection.svg, the image with the path
// over it, which any browser or vector editor opens.
#ifndef VELDRA_PAINT_PATH_PICTURE_H
#define VELDRA_PAINT_PATH_PICTURE_H

#include <array>
#include <cstdint>
#include <string>

#include "image.h"
#include "selection_extras.h"

namespace paint {

// Draws every ring's edges one pixel wide: the pixel holding each point along an edge, at most a
// quarter pixel apart, takes `colour`. Points outside the image are skipped.
void DrawRings(const std::vector<Ring>& rings, const std::array<std::uint8_t, 3>& colour, RgbImage* image);

// An SVG document the size of the image: the image embedded as PNG, the path filled translucent and
// outlined on top. False with *error when the image cannot be encoded.
bool SvgPicture(const RgbaImage& image, const std::string& pathData, std::string* svg, std::string* error);

}  // namespace paint

#endif  // VELDRA_PAINT_PATH_PICTURE_H
