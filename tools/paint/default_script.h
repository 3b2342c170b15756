// The built-in stroke script for the built-in scene: what a user would do to select the target
// object. A broad add stroke fills its middle, a narrow add stroke follows just inside its outline,
// a careless add stroke spills over onto the similar object the target overlaps, a subtract stroke
// trims that spill back to the edge, and a smooth stroke evens out the soft stretch of the edge.
#ifndef VELDRA_PAINT_DEFAULT_SCRIPT_H
#define VELDRA_PAINT_DEFAULT_SCRIPT_H

#include <vector>

#include "scene.h"
#include "stroke_script.h"

namespace paint {

std::vector<Stroke> DefaultStrokes(const Scene& scene);

// Points every spacing pixels (measured along the path) on the polyline through path, first and last
// included, rounded to whole pixels; consecutive duplicates are dropped.
std::vector<std::array<int, 2>> ResamplePath(const std::vector<PointF>& path, float spacing);

}  // namespace paint

#endif  // VELDRA_PAINT_DEFAULT_SCRIPT_H
