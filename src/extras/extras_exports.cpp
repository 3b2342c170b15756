// The exported functions of namespace VELDRA_EXTRAS: argument checks, the handle registry, and
// hand-over to the read-outs and snapshots. Handles are numbers from one counter, never reused, and
// are looked up before use, so a stale or made-up handle is refused instead of dereferenced.
#include <veldra/veldra_extras.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "api/argument_checks.h"
#include "api/engine.h"
#include "extras/alpha_readout.h"
#include "extras/boundary_trace.h"
#include "extras/ring_simplify.h"
#include "extras/selection_snapshot.h"
#include "extras/svg_path.h"

namespace VELDRA_EXTRAS_CORE {
namespace {

using VELDRA_CORE::currentGrid;
using VELDRA_CORE::library;

struct TracedPath {
  std::vector<Ring> rings;
};

// A snapshot of the grid with the stroke state that lives outside it.
struct StoredSnapshot {
  SelectionSnapshot selection;
  std::int32_t operation;
  bool regionalStroke;
};

struct Registry {
  unsigned long long nextHandle = 1;
  std::map<unsigned long long, std::unique_ptr<TracedPath>> paths;
  std::map<unsigned long long, std::unique_ptr<StoredSnapshot>> snapshots;

  template <typename T>
  unsigned long long add(std::map<unsigned long long, std::unique_ptr<T>>& kind, std::unique_ptr<T> item) {
    const unsigned long long handle = nextHandle++;
    kind.emplace(handle, std::move(item));
    return handle;
  }
  template <typename T>
  static T* find(const std::map<unsigned long long, std::unique_ptr<T>>& kind, unsigned long long handle) {
    const auto it = kind.find(handle);
    return it == kind.end() ? nullptr : it->second.get();
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

// The grid, when the rectangle lies inside its image and is not empty.
const VELDRA_TRW::SLGrid2D* GridForRect(int x, int y, int w, int h) {
  const VELDRA_TRW::SLGrid2D* grid = currentGrid();
  if (grid == nullptr || !grid->hasBlock() || w <= 0 || h <= 0 || x < 0 || y < 0 ||
      static_cast<long long>(x) + w > static_cast<long long>(grid->imageWidth) ||
      static_cast<long long>(y) + h > static_cast<long long>(grid->imageHeight))
    return nullptr;
  return grid;
}

}  // namespace
}  // namespace VELDRA_EXTRAS_CORE

namespace VELDRA_EXTRAS {

using namespace VELDRA_EXTRAS_CORE;

bool GetSelectionAlpha(int x, int y, int w, int h, unsigned char* alpha, int stride, float feather) {
  const VELDRA_TRW::SLGrid2D* grid = GridForRect(x, y, w, h);
  // Offsets of the rows are computed in 32-bit signed arithmetic, as for GetSelection.
  if (grid == nullptr || alpha == nullptr || stride < w || !VELDRA_CORE::BufferRowsUsable(w, h, stride, false) ||
      !(feather >= 0.0f && feather <= kMaxFeather))
    return false;
  RenderAlpha(*grid, x, y, w, h, alpha, stride, feather);
  return true;
}

PathHandle TraceSelectionPath(int x, int y, int w, int h, float tolerance) {
  const VELDRA_TRW::SLGrid2D* grid = GridForRect(x, y, w, h);
  if (grid == nullptr || !(tolerance >= 0.0f)) return 0;
  try {
    auto path = std::make_unique<TracedPath>();
    path->rings = TraceBoundary(*grid, x, y, w, h);
    if (tolerance > 0.0f)
      for (Ring& ring : path->rings) ring = SimplifyRing(ring, tolerance);
    return registry().add(registry().paths, std::move(path));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int PathRingCount(PathHandle path) {
  const TracedPath* p = Registry::find(registry().paths, path);
  return p == nullptr ? -1 : static_cast<int>(p->rings.size());
}

int GetPathRing(PathHandle path, int ring, float* xy, int capacity) {
  const TracedPath* p = Registry::find(registry().paths, path);
  if (p == nullptr || ring < 0 || static_cast<std::size_t>(ring) >= p->rings.size()) return -1;
  const Ring& r = p->rings[static_cast<std::size_t>(ring)];
  if (xy != nullptr)
    for (std::size_t k = 0; k < r.size() && static_cast<long long>(k) < capacity; ++k) {
      xy[2 * k] = r[k].x;
      xy[2 * k + 1] = r[k].y;
    }
  return static_cast<int>(r.size());
}

long long WritePathSvg(PathHandle path, char* text, long long capacity) {
  const TracedPath* p = Registry::find(registry().paths, path);
  if (p == nullptr) return -1;
  try {
    const std::string data = SvgPathData(p->rings);
    const auto length = static_cast<long long>(data.size());
    if (text != nullptr && capacity > length) std::memcpy(text, data.c_str(), data.size() + 1);
    return length;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

void ReleasePath(PathHandle path) { registry().paths.erase(path); }

SnapshotHandle TakeSnapshot() {
  const VELDRA_TRW::SLGrid2D* grid = currentGrid();
  if (grid == nullptr || !grid->hasBlock()) return 0;
  try {
    auto stored = std::unique_ptr<StoredSnapshot>(
        new StoredSnapshot{SelectionSnapshot(*grid), library().engine->operation, library().regionalStroke});
    return registry().add(registry().snapshots, std::move(stored));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

bool RestoreSnapshot(SnapshotHandle snapshot) {
  const StoredSnapshot* s = Registry::find(registry().snapshots, snapshot);
  VELDRA_TRW::SLGrid2D* grid = currentGrid();
  if (s == nullptr || grid == nullptr || !s->selection.fits(*grid)) return false;
  try {
    s->selection.restoreInto(*grid);
  } catch (int) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  library().engine->operation = s->operation;
  library().regionalStroke = s->regionalStroke;
  return true;
}

long long SnapshotBytes(SnapshotHandle snapshot) {
  const StoredSnapshot* s = Registry::find(registry().snapshots, snapshot);
  return s == nullptr ? 0 : static_cast<long long>(s->selection.bytes() + sizeof(StoredSnapshot) - sizeof(SelectionSnapshot));
}

void ReleaseSnapshot(SnapshotHandle snapshot) { registry().snapshots.erase(snapshot); }

}  // namespace VELDRA_EXTRAS
