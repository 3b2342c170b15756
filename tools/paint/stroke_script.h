// The stroke script: what a user did with the brush, as a list of strokes in JSON.
//
//   { "strokes": [ { "mode": "add", "radius": 60, "core": 50, "edge_snap": 75, "smoothing": 100,
//                    "band": 10, "points": [[x, y], [x, y], ...] }, ... ] }
//
// A bare array of strokes is accepted too. "mode" and "points" are required; the brush values
// default to the library's defaults. Line strokes take "line_mode" (add, subtract or auto; add by
// default); band strokes may set "matting_radius" (the band brush's radius in pixels). An entry
// {"undo": true} is no stroke: it puts the selection back as it was before the previous stroke not yet
// undone (repeated, it goes back further).
#ifndef VELDRA_PAINT_STROKE_SCRIPT_H
#define VELDRA_PAINT_STROKE_SCRIPT_H

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace paint {

enum class StrokeMode { Add, Subtract, Auto, Smooth, Band, Line };
enum class LineMode { Add, Subtract, Auto };

struct Stroke {
  StrokeMode mode = StrokeMode::Add;
  LineMode lineMode = LineMode::Add;
  std::optional<int> radius, core, edgeSnap, smoothing;  // unset: the library's default
  int band = 10;                                         // boundary band width in pixels
  std::optional<float> mattingRadius;                    // band strokes only
  std::vector<std::array<int, 2>> points;                // pixels, x then y
  bool undo = false;                                     // an undo entry (nothing else is set)
};

// Default, minimum and maximum of one brush parameter, as the library reports them.
struct ParameterRange {
  int defaultValue = 0, minimum = 0, maximum = 0;
};
struct ParameterTable {
  ParameterRange radius, core, edgeSnap, smoothing;
};

// Largest band width and band-brush radius a script may ask for.
inline constexpr int kMaxBand = 1000;
inline constexpr float kMaxMattingRadius = 1250.0f;

const char* ModeName(StrokeMode mode);
const char* LineModeName(LineMode mode);

// Parses a script. On failure returns false and sets *error to one line naming the problem (JSON
// syntax, wrong shape with the stroke number and key, unknown mode); harmless oddities such as
// unknown keys are reported in *warnings. Numbers are rounded to whole pixels.
bool ParseStrokeScript(const std::string& text, std::vector<Stroke>* strokes, std::vector<std::string>* warnings,
                       std::string* error);

// Fills unset brush values with the defaults, clamps brush values into their ranges and points
// into a width x height image, with one warning per stroke and kind of change.
void ResolveStrokes(std::vector<Stroke>* strokes, const ParameterTable& table, int width, int height,
                    std::vector<std::string>* warnings);

// Writes strokes back as a script that ParseStrokeScript reads into the same strokes.
std::string WriteStrokeScript(const std::vector<Stroke>& strokes);

}  // namespace paint

#endif  // VELDRA_PAINT_STROKE_SCRIPT_H
