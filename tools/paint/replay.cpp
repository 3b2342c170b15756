// The paint tool's session: the library calls behind opening an image, seeding, replaying strokes
// and reading the selection back.
#include "replay.h"

#include <veldra/veldra.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "host_conventions.h"
#include "selection_extras.h"

namespace paint {
namespace {

using veldra_host::BrushBox;

VELDRA::EDITMODE BrushMode(StrokeMode mode) {
  switch (mode) {
    case StrokeMode::Subtract: return VELDRA::EDITMODE_SUBTRACT;
    case StrokeMode::Auto: return VELDRA::EDITMODE_AUTO;
    default: return VELDRA::EDITMODE_ADD;  // add, and band strokes (the regional stroke decides)
  }
}

VELDRA::EDITMODE LineEditMode(LineMode mode) {
  switch (mode) {
    case LineMode::Subtract: return VELDRA::EDITMODE_SUBTRACT;
    case LineMode::Auto: return VELDRA::EDITMODE_AUTO;
    default: return VELDRA::EDITMODE_ADD;
  }
}

ParameterRange RangeOf(VELDRA::PARAM p) {
  ParameterRange r;
  VELDRA::GetDefaultParameter(p, &r.defaultValue, &r.minimum, &r.maximum);
  return r;
}

}  // namespace

ParameterTable LibraryParameterTable() {
  return {RangeOf(VELDRA::PARAM_RADIUS), RangeOf(VELDRA::PARAM_CORE), RangeOf(VELDRA::PARAM_EDGE_SNAP),
          RangeOf(VELDRA::PARAM_SMOOTHING)};
}

bool PaintSession::Open(const RgbaImage& image, std::string* error) {
  image_ = &image;
  veldra_host::SetDefaultParameters();
  if (!VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, image.width, image.height, false)) {
    *error = "the library could not set up a " + std::to_string(image.width) + "x" + std::to_string(image.height) +
             " image (out of memory)";
    return false;
  }
  // The engine keeps the band brush radius across images; a new session starts from the default.
  VELDRA::setMattingBrushRadius(veldra_host::kDefaultMattingRadius);
  display_ = GrayImage(image.width, image.height);
  return true;
}

bool PaintSession::Seed(const GrayImage& mask, std::string* error) {
  if (mask.width != image_->width || mask.height != image_->height) {
    *error = "seed mask is " + std::to_string(mask.width) + "x" + std::to_string(mask.height) + " but the image is " +
             std::to_string(image_->width) + "x" + std::to_string(image_->height);
    return false;
  }
  GrayImage copy = mask;  // the library takes a non-const pointer
  if (!VELDRA::InitSelection(0, 0, mask.width, mask.height, copy.pixels.data(), mask.width)) {
    *error = "the library could not seed the selection (out of memory)";
    return false;
  }
  return true;
}

void PaintSession::RefreshDisplay(const PixelBox& box, int x, int y, int band) {
  VELDRA::GetSelection(box.x, box.y, box.width, box.height, display_.at(box.x, box.y), display_.width,
                       static_cast<float>(x), static_cast<float>(y), band);
}

bool PaintSession::BrushEvent(const Stroke& stroke, int radius, int x, int y) {
  const PixelBox box = BrushBox(x, y, radius, image_->width, image_->height);
  // The stroke's region covers every brush box of it; a box outside (an empty one) gets its own.
  if (!snap_.Covers(box)) snap_.Compute(*image_, box);
  const bool ok = VELDRA::Step(BrushMode(stroke.mode), stroke.band, x, y, box.x, box.y, box.width, box.height,
                               snap_.X(box), snap_.Stride(), snap_.Y(box), snap_.Stride());
  RefreshDisplay(box, x, y, stroke.band);
  return ok;
}

void PaintSession::PrepareSnapField(const Stroke& stroke, int radius) {
  std::vector<PixelBox> boxes;
  for (const auto& p : stroke.points) boxes.push_back(BrushBox(p[0], p[1], radius, image_->width, image_->height));
  snap_.Compute(*image_, veldra_host::UnionOf(boxes));
}

bool PaintSession::SmoothEvent(const Stroke& stroke, int radius, int x, int y) {
  const PixelBox box = BrushBox(x, y, radius, image_->width, image_->height);
  const bool ok = VELDRA::Smoothen(x, y, box.x, box.y, box.width, box.height);
  RefreshDisplay(box, x, y, stroke.band);
  return ok;
}

bool PaintSession::LineEvent(const Stroke& stroke, int r, int x0, int y0, int x1, int y1) {
  const bool ok = VELDRA::AddDeleteLine(LineEditMode(stroke.lineMode), x0, y0, x1, y1);
  const PixelBox both = veldra_host::UnionOf(
      {BrushBox(x0, y0, r, image_->width, image_->height), BrushBox(x1, y1, r, image_->width, image_->height)});
  // The display disc follows the end point; a real editor would redraw the whole segment's box.
  RefreshDisplay(both, x1, y1, stroke.band);
  return ok;
}

ReplayResult PaintSession::Replay(const std::vector<Stroke>& strokes, ProgressLine* progress) {
  ReplayResult result;
  const ParameterTable table = LibraryParameterTable();
  int total = 0;
  for (const Stroke& s : strokes) total += static_cast<int>(s.points.size());
  result.eventSeconds.reserve(static_cast<std::size_t>(total));

  UndoHistory history(std::any_of(strokes.begin(), strokes.end(), [](const Stroke& s) { return s.undo; }));
  for (std::size_t si = 0; si < strokes.size() && result.ok; ++si) {
    const Stroke& s = strokes[si];
    if (s.undo) {
      history.Undo();
      continue;
    }
    if (!history.BeforeStroke(&result.error)) {
      result.ok = false;
      break;
    }
    // The library clamps every value into its range, so the radius read back is the one in use.
    VELDRA::SetParameter(VELDRA::PARAM_RADIUS, s.radius.value_or(table.radius.defaultValue));
    VELDRA::SetParameter(VELDRA::PARAM_CORE, s.core.value_or(table.core.defaultValue));
    VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, s.edgeSnap.value_or(table.edgeSnap.defaultValue));
    VELDRA::SetParameter(VELDRA::PARAM_SMOOTHING, s.smoothing.value_or(table.smoothing.defaultValue));
    int radius = 1;
    VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &radius);
    VELDRA::MouseDown();
    if (s.mode == StrokeMode::Band) {
      if (s.mattingRadius) VELDRA::setMattingBrushRadius(*s.mattingRadius);
      VELDRA::enableRLS(s.band);
    }
    const bool brush = s.mode != StrokeMode::Smooth && s.mode != StrokeMode::Line;
    // The edge snap field of the stroke's region is computed when the stroke starts and counts as
    // part of its first event.
    auto start = std::chrono::steady_clock::now();
    if (brush) PrepareSnapField(s, radius);
    for (std::size_t pi = 0; pi < s.points.size(); ++pi) {
      const auto [x, y] = s.points[pi];
      if (pi > 0) start = std::chrono::steady_clock::now();
      bool ok = true;
      switch (s.mode) {
        case StrokeMode::Smooth: ok = SmoothEvent(s, radius, x, y); break;
        case StrokeMode::Line: {
          const auto& from = s.points[pi == 0 ? 0 : pi - 1];
          ok = LineEvent(s, radius, from[0], from[1], x, y);
          break;
        }
        default: ok = BrushEvent(s, radius, x, y); break;
      }
      result.eventSeconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      ++result.events;
      if (progress != nullptr) progress->Update(static_cast<int>(si + 1), static_cast<int>(strokes.size()), result.events, total);
      if (!ok) {
        result.ok = false;
        result.error = "the library ran out of memory at stroke " + std::to_string(si + 1) + ", point " +
                       std::to_string(pi + 1);
        break;
      }
    }
    VELDRA::MouseUp();
  }
  if (progress != nullptr) progress->Finish();
  return result;
}

GrayImage PaintSession::ReadSelection(int band) const {
  GrayImage mask(image_->width, image_->height);
  veldra_host::ReadWholeSelection(mask.width, mask.height, band, mask.pixels.data(), mask.width);
  return mask;
}

bool PaintSession::DumpField(const std::string& directory, std::string* error) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path previous = fs::current_path(ec);
  // The library writes the dump into the current directory.
  if (!ec) fs::current_path(directory, ec);
  if (ec) {
    *error = directory + ": cannot enter the output directory: " + ec.message();
    return false;
  }
  fs::remove("field.pbm", ec);
  VELDRA::SaveSelectionToFile();
  const bool written = fs::exists("field.pbm", ec);
  fs::current_path(previous, ec);
  if (!written) {
    *error = directory + "/field.pbm: the library did not write the field dump";
    return false;
  }
  return true;
}

}  // namespace paint
