// Parsing, resolving and writing stroke scripts.
#include "stroke_script.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace paint {
namespace {

using nlohmann::json;

// Whole-pixel values are kept far from int overflow; clamping happens in ResolveStrokes.
constexpr double kCoordinateLimit = 1.0e9;

int RoundToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::lround(std::clamp(v, -kCoordinateLimit, kCoordinateLimit)));
}

struct ModeEntry {
  const char* name;
  StrokeMode mode;
};
constexpr ModeEntry kModes[] = {{"add", StrokeMode::Add},       {"subtract", StrokeMode::Subtract},
                                {"auto", StrokeMode::Auto},     {"smooth", StrokeMode::Smooth},
                                {"band", StrokeMode::Band},     {"line", StrokeMode::Line}};

const char* const kKnownKeys[] = {"mode",      "radius", "core",      "edge_snap",      "smoothing",
                                  "band",      "points", "line_mode", "matting_radius", "undo"};

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Reads an optional number; false (with *error) when present but not a number.
bool ReadNumber(const json& stroke, const char* key, std::optional<double>* out, const std::string& where,
                std::string* error) {
  const auto it = stroke.find(key);
  if (it == stroke.end()) return true;
  if (!it->is_number()) {
    *error = where + Quote(key) + " must be a number";
    return false;
  }
  *out = it->get<double>();
  return true;
}

bool ParsePoints(const json& value, std::vector<std::array<int, 2>>* points, const std::string& where,
                 std::string* error) {
  if (!value.is_array()) {
    *error = where + "\"points\" must be a list of [x, y] pairs";
    return false;
  }
  if (value.empty()) {
    *error = where + "\"points\" is empty";
    return false;
  }
  points->reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const json& p = value[i];
    if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number()) {
      *error = where + "point " + std::to_string(i + 1) + " must be a pair of numbers [x, y]";
      return false;
    }
    points->push_back({RoundToInt(p[0].get<double>()), RoundToInt(p[1].get<double>())});
  }
  return true;
}

bool ParseStroke(const json& value, int number, Stroke* stroke, std::vector<std::string>* warnings,
                 std::string* error) {
  const std::string where = "stroke " + std::to_string(number) + ": ";
  if (!value.is_object()) {
    *error = where + "must be an object with \"mode\" and \"points\"";
    return false;
  }
  if (const auto undo = value.find("undo"); undo != value.end()) {
    if (!undo->is_boolean() || !undo->get<bool>()) {
      *error = where + "\"undo\" must be true";
      return false;
    }
    for (const auto& item : value.items())
      if (item.key() != "undo") warnings->push_back(where + "ignoring " + Quote(item.key()) + " in an undo entry");
    stroke->undo = true;
    return true;
  }
  for (const auto& item : value.items()) {
    if (std::find_if(std::begin(kKnownKeys), std::end(kKnownKeys),
                     [&](const char* k) { return item.key() == k; }) == std::end(kKnownKeys))
      warnings->push_back(where + "ignoring unknown key " + Quote(item.key()));
  }

  const auto mode = value.find("mode");
  if (mode == value.end()) {
    *error = where + "\"mode\" is missing";
    return false;
  }
  if (!mode->is_string()) {
    *error = where + "\"mode\" must be a string";
    return false;
  }
  const std::string modeName = mode->get<std::string>();
  const auto entry = std::find_if(std::begin(kModes), std::end(kModes),
                                  [&](const ModeEntry& e) { return modeName == e.name; });
  if (entry == std::end(kModes)) {
    *error = where + "unknown mode " + Quote(modeName) + " (expected add, subtract, auto, smooth, band or line)";
    return false;
  }
  stroke->mode = entry->mode;

  std::optional<double> radius, core, edgeSnap, smoothing, band, matting;
  if (!ReadNumber(value, "radius", &radius, where, error) || !ReadNumber(value, "core", &core, where, error) ||
      !ReadNumber(value, "edge_snap", &edgeSnap, where, error) ||
      !ReadNumber(value, "smoothing", &smoothing, where, error) ||
      !ReadNumber(value, "band", &band, where, error) ||
      !ReadNumber(value, "matting_radius", &matting, where, error))
    return false;
  if (radius) stroke->radius = RoundToInt(*radius);
  if (core) stroke->core = RoundToInt(*core);
  if (edgeSnap) stroke->edgeSnap = RoundToInt(*edgeSnap);
  if (smoothing) stroke->smoothing = RoundToInt(*smoothing);
  if (band) stroke->band = RoundToInt(*band);
  if (matting) {
    if (stroke->mode != StrokeMode::Band)
      warnings->push_back(where + "\"matting_radius\" only applies to band strokes; ignored");
    else
      stroke->mattingRadius = static_cast<float>(std::isnan(*matting) ? 0.0 : std::clamp(*matting, -1.0e6, 1.0e6));
  }

  if (const auto lineMode = value.find("line_mode"); lineMode != value.end()) {
    if (stroke->mode != StrokeMode::Line) {
      warnings->push_back(where + "\"line_mode\" only applies to line strokes; ignored");
    } else {
      const std::string name = lineMode->is_string() ? lineMode->get<std::string>() : std::string();
      if (name == "add") stroke->lineMode = LineMode::Add;
      else if (name == "subtract") stroke->lineMode = LineMode::Subtract;
      else if (name == "auto") stroke->lineMode = LineMode::Auto;
      else {
        *error = where + "\"line_mode\" must be \"add\", \"subtract\" or \"auto\"";
        return false;
      }
    }
  }

  const auto points = value.find("points");
  if (points == value.end()) {
    *error = where + "\"points\" is missing";
    return false;
  }
  return ParsePoints(*points, &stroke->points, where, error);
}

// Clamps *value into [lo, hi]; true when it changed.
template <typename T>
bool ClampInto(T* value, T lo, T hi) {
  const T clamped = std::clamp(*value, lo, hi);
  const bool changed = clamped != *value;
  *value = clamped;
  return changed;
}

void ResolveParameter(std::optional<int>* value, const ParameterRange& range, const char* key,
                      const std::string& where, std::vector<std::string>* warnings) {
  if (!*value) {
    *value = range.defaultValue;
    return;
  }
  const int before = **value;
  if (ClampInto(&**value, range.minimum, range.maximum))
    warnings->push_back(where + Quote(key) + " " + std::to_string(before) + " is outside " +
                        std::to_string(range.minimum) + ".." + std::to_string(range.maximum) + ", clamped to " +
                        std::to_string(**value));
}

}  // namespace

const char* ModeName(StrokeMode mode) {
  for (const ModeEntry& e : kModes)
    if (e.mode == mode) return e.name;
  return "?";
}

const char* LineModeName(LineMode mode) {
  switch (mode) {
    case LineMode::Subtract: return "subtract";
    case LineMode::Auto: return "auto";
    default: return "add";
  }
}

bool ParseStrokeScript(const std::string& text, std::vector<Stroke>* strokes, std::vector<std::string>* warnings,
                       std::string* error) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::parse_error& e) {
    // Drop the library's "[json.exception.parse_error.101] " tag; keep line and column.
    std::string what = e.what();
    if (const auto tag = what.find("] "); what.rfind("[json.exception", 0) == 0 && tag != std::string::npos)
      what = what.substr(tag + 2);
    *error = "not valid JSON: " + what;
    return false;
  }
  const json* list = &document;
  if (document.is_object()) {
    const auto it = document.find("strokes");
    if (it == document.end()) {
      *error = "expected a list of strokes or an object with a \"strokes\" list";
      return false;
    }
    list = &*it;
  }
  if (!list->is_array()) {
    *error = "expected a list of strokes or an object with a \"strokes\" list";
    return false;
  }
  std::vector<Stroke> parsed;
  parsed.reserve(list->size());
  for (std::size_t i = 0; i < list->size(); ++i) {
    Stroke stroke;
    if (!ParseStroke((*list)[i], static_cast<int>(i + 1), &stroke, warnings, error)) return false;
    parsed.push_back(std::move(stroke));
  }
  *strokes = std::move(parsed);
  return true;
}

void ResolveStrokes(std::vector<Stroke>* strokes, const ParameterTable& table, int width, int height,
                    std::vector<std::string>* warnings) {
  int undoable = 0;  // strokes that an undo entry could still take back
  for (std::size_t i = 0; i < strokes->size(); ++i) {
    Stroke& s = (*strokes)[i];
    const std::string where = "stroke " + std::to_string(i + 1) + ": ";
    if (s.undo) {
      if (undoable == 0) warnings->push_back(where + "nothing to undo, ignored");
      else --undoable;
      continue;
    }
    ++undoable;
    ResolveParameter(&s.radius, table.radius, "radius", where, warnings);
    ResolveParameter(&s.core, table.core, "core", where, warnings);
    ResolveParameter(&s.edgeSnap, table.edgeSnap, "edge_snap", where, warnings);
    ResolveParameter(&s.smoothing, table.smoothing, "smoothing", where, warnings);
    const int band = s.band;
    if (ClampInto(&s.band, 0, kMaxBand))
      warnings->push_back(where + "\"band\" " + std::to_string(band) + " is outside 0.." + std::to_string(kMaxBand) +
                          ", clamped to " + std::to_string(s.band));
    if (s.mattingRadius) {
      const float m = *s.mattingRadius;
      if (ClampInto(&*s.mattingRadius, 1.0f, kMaxMattingRadius))
        warnings->push_back(where + "\"matting_radius\" " + std::to_string(m) + " is outside 1..1250, clamped to " +
                            std::to_string(*s.mattingRadius));
    }
    int outside = 0;
    for (auto& p : s.points) {
      const bool cx = ClampInto(&p[0], 0, std::max(width - 1, 0));
      const bool cy = ClampInto(&p[1], 0, std::max(height - 1, 0));
      outside += (cx || cy) ? 1 : 0;
    }
    if (outside > 0)
      warnings->push_back(where + std::to_string(outside) + " of " + std::to_string(s.points.size()) +
                          " points lie outside the " + std::to_string(width) + "x" + std::to_string(height) +
                          " image, moved to its border");
  }
}

std::string WriteStrokeScript(const std::vector<Stroke>& strokes) {
  // Ordered so that each stroke reads mode first and points last.
  using ordered = nlohmann::ordered_json;
  ordered list = ordered::array();
  for (const Stroke& s : strokes) {
    ordered stroke = ordered::object();
    if (s.undo) {
      stroke["undo"] = true;
      list.push_back(std::move(stroke));
      continue;
    }
    stroke["mode"] = ModeName(s.mode);
    if (s.mode == StrokeMode::Line) stroke["line_mode"] = LineModeName(s.lineMode);
    if (s.radius) stroke["radius"] = *s.radius;
    if (s.core) stroke["core"] = *s.core;
    if (s.edgeSnap) stroke["edge_snap"] = *s.edgeSnap;
    if (s.smoothing) stroke["smoothing"] = *s.smoothing;
    stroke["band"] = s.band;
    if (s.mattingRadius) stroke["matting_radius"] = *s.mattingRadius;
    ordered points = ordered::array();
    for (const auto& p : s.points) points.push_back(ordered::array({p[0], p[1]}));
    stroke["points"] = std::move(points);
    list.push_back(std::move(stroke));
  }
  // One stroke per line keeps long point lists readable and diffable.
  std::string text = "{\n  \"strokes\": [\n";
  for (std::size_t i = 0; i < list.size(); ++i)
    text += "    " + list[i].dump() + (i + 1 < list.size() ? ",\n" : "\n");
  text += "  ]\n}\n";
  return text;
}

}  // namespace paint
