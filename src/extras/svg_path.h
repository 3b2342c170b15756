// Rings as the path data of an SVG path element.
#pragma once
#include <string>
#include <vector>

#include "extras/boundary_trace.h"

namespace VELDRA_EXTRAS_CORE {

// "M x y L x y ... Z" per ring, coordinates in image pixels with at most three decimals; filled with
// the nonzero rule (or evenodd), holes stay open.
std::string SvgPathData(const std::vector<Ring>& rings);

}  // namespace VELDRA_EXTRAS_CORE
