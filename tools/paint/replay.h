// Drives the library the way an image editor does: sets it up for the image, seeds the selection,
// replays strokes event by event (the stroke call with a view into the edge snap field computed once
// for the stroke's region, then a read-back of the brush box as the editor's display would), and reads
// the whole selection back.
// The library keeps one engine per process, so one session is active at a time.
#ifndef VELDRA_PAINT_REPLAY_H
#define VELDRA_PAINT_REPLAY_H

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "progress.h"
#include "snap_region.h"
#include "stroke_script.h"

namespace paint {

// Defaults and ranges of the four brush parameters, as the library reports them.
ParameterTable LibraryParameterTable();

struct ReplayResult {
  int events = 0;
  std::vector<double> eventSeconds;  // wall time of each event: edge snap data, stroke call, read-back
  bool ok = true;
  std::string error;  // set when a library call failed (the replay stops there)
};

class PaintSession {
 public:
  // Sets the five parameters to their defaults and sets the engine up for the image, which must
  // outlive the session. False (with *error) when the library could not.
  bool Open(const RgbaImage& image, std::string* error);

  // Seeds the selection from a mask of the image's size (values above 128 are selected).
  bool Seed(const GrayImage& mask, std::string* error);

  // Replays strokes, normally after ResolveStrokes has filled in their values and clamped them (unset
  // values take the defaults; points must lie inside the image).
  ReplayResult Replay(const std::vector<Stroke>& strokes, ProgressLine* progress);

  // The selection over the whole image: 255 inside, 0 outside, 128 in the boundary band (band > 0 or
  // after band strokes). PARAM_RADIUS is raised for the read-back and restored afterwards.
  GrayImage ReadSelection(int band) const;

  // Writes the library's field dump as field.pbm into directory.
  bool DumpField(const std::string& directory, std::string* error) const;

 private:
  bool BrushEvent(const Stroke& stroke, int radius, int x, int y);
  // Computes the edge snap field over the union of the stroke's brush boxes.
  void PrepareSnapField(const Stroke& stroke, int radius);
  bool SmoothEvent(const Stroke& stroke, int radius, int x, int y);
  bool LineEvent(const Stroke& stroke, int radius, int x0, int y0, int x1, int y1);
  void RefreshDisplay(const PixelBox& box, int x, int y, int band);

  const RgbaImage* image_ = nullptr;
  SnapRegion snap_;                   // edge snap field of the current stroke's region
  GrayImage display_;                 // what an editor would show, refreshed per event
};

}  // namespace paint

#endif  // VELDRA_PAINT_REPLAY_H
