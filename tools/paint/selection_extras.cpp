// The extras through the public header only, as a host calls them: whole-image read-outs copied into
// the tool's images, and snapshot handles kept in a stack for undo.
#include "selection_extras.h"

#include <veldra/veldra_extras.h>

namespace paint {

bool ReadAlpha(int width, int height, float feather, GrayImage* alpha, std::string* error) {
  GrayImage out(width, height);
  if (!VELDRA_EXTRAS::GetSelectionAlpha(0, 0, width, height, out.pixels.data(), width, feather)) {
    *error = "the library refused the alpha read-out (feather " + std::to_string(feather) + ")";
    return false;
  }
  *alpha = std::move(out);
  return true;
}

bool TraceSelection(int width, int height, float tolerance, TracedSelection* out, std::string* error) {
  const VELDRA_EXTRAS::PathHandle path = VELDRA_EXTRAS::TraceSelectionPath(0, 0, width, height, tolerance);
  if (path == 0) {
    *error = "the library could not trace the selection (out of memory)";
    return false;
  }
  TracedSelection traced;
  const int rings = VELDRA_EXTRAS::PathRingCount(path);
  for (int r = 0; r < rings; ++r) {
    std::vector<float> xy(2 * static_cast<std::size_t>(VELDRA_EXTRAS::GetPathRing(path, r, nullptr, 0)));
    VELDRA_EXTRAS::GetPathRing(path, r, xy.data(), static_cast<int>(xy.size() / 2));
    Ring ring;
    for (std::size_t k = 0; k + 1 < xy.size(); k += 2) ring.push_back({xy[k], xy[k + 1]});
    traced.rings.push_back(std::move(ring));
  }
  traced.svgPath.resize(static_cast<std::size_t>(VELDRA_EXTRAS::WritePathSvg(path, nullptr, 0)) + 1);
  VELDRA_EXTRAS::WritePathSvg(path, traced.svgPath.data(), static_cast<long long>(traced.svgPath.size()));
  traced.svgPath.pop_back();  // the terminating zero
  VELDRA_EXTRAS::ReleasePath(path);
  *out = std::move(traced);
  return true;
}

UndoHistory::~UndoHistory() {
  for (unsigned long long s : snapshots_) VELDRA_EXTRAS::ReleaseSnapshot(s);
}

bool UndoHistory::BeforeStroke(std::string* error) {
  if (!enabled_) return true;
  const VELDRA_EXTRAS::SnapshotHandle s = VELDRA_EXTRAS::TakeSnapshot();
  if (s == 0) {
    *error = "the library could not keep the selection for undo (out of memory)";
    return false;
  }
  snapshots_.push_back(s);
  return true;
}

bool UndoHistory::Undo() {
  if (snapshots_.empty()) return false;
  const bool restored = VELDRA_EXTRAS::RestoreSnapshot(snapshots_.back());
  VELDRA_EXTRAS::ReleaseSnapshot(snapshots_.back());
  snapshots_.pop_back();
  return restored;
}

}  // namespace paint
