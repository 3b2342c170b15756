// Boundary tracing in three steps: the inside/outside state of every sample point (root-tile
// quadrants in parallel, as the two-level read-out), a scan of the cells between points that links
// crossed lattice segments into cycles, and the crossing positions (in parallel, each on its own).
#include "extras/boundary_trace.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "extras/rect_leaves.h"
#include "extras/stencil_patch.h"

namespace VELDRA_EXTRAS_CORE {
namespace {

// Cell corners 0..3: (0,0), (1,0), (1,1), (0,1) from the cell's first point; case bit k is set when
// corner k is inside. Cell side k joins corners k and k + 1 (mod 4): top, right, bottom, left.
constexpr float kCornerX[4] = {0.0f, 1.0f, 1.0f, 0.0f};
constexpr float kCornerY[4] = {0.0f, 0.0f, 1.0f, 1.0f};

struct CellSegments {
  int count = 0;
  int from[2] = {0, 0}, to[2] = {0, 0};  // cell sides
};

// Segments of each case, oriented with the inside on the side where the cross product of the
// direction and (corner - start) is negative (on the left as displayed, y down). Index [connected]
// chooses how the two saddle cases join: through the cell's centre (inside corners connected) or not.
struct CaseTable {
  CellSegments cases[16][2];

  CaseTable() {
    for (int code = 1; code < 15; ++code)
      for (int connected = 0; connected < 2; ++connected) {
        CellSegments& out = cases[code][connected];
        const auto add = [&](int a, int b, int corner, bool cornerInside) {
          // Midpoints of sides a and b decide the orientation.
          const float ax = 0.5f * (kCornerX[a] + kCornerX[(a + 1) & 3]), ay = 0.5f * (kCornerY[a] + kCornerY[(a + 1) & 3]);
          const float bx = 0.5f * (kCornerX[b] + kCornerX[(b + 1) & 3]), by = 0.5f * (kCornerY[b] + kCornerY[(b + 1) & 3]);
          const float cross = (bx - ax) * (kCornerY[corner] - ay) - (by - ay) * (kCornerX[corner] - ax);
          const bool forward = (cross < 0.0f) == cornerInside;
          out.from[out.count] = forward ? a : b;
          out.to[out.count++] = forward ? b : a;
        };
        const auto in = [code](int k) { return ((code >> k) & 1) != 0; };
        if (code == 5 || code == 10) {
          // Each segment cuts off one corner: the inside ones when not connected, else the outside ones.
          for (int k = 0; k < 4; ++k)
            if (in(k) != (connected == 1)) add((k + 3) & 3, k, k, in(k));
          continue;
        }
        int crossed[2], n = 0;
        for (int side = 0; side < 4; ++side)
          if (in(side) != in((side + 1) & 3)) crossed[n++] = side;
        int reference = 0;
        while (!in(reference)) ++reference;
        add(crossed[0], crossed[1], reference, true);
      }
  }
};

const CaseTable& Cases() {
  static const CaseTable table;
  return table;
}

// A crossed segment of the padded lattice: from point (i, j) one step right, or one step down.
struct LatticeEdge {
  int i, j;
  bool down;
};

// Ids of the crossed segments met so far along one lattice row, reset where they were set.
class RowIds {
 public:
  explicit RowIds(int width) : ids_(static_cast<std::size_t>(width), -1) {}
  int& operator[](int i) { return ids_[static_cast<std::size_t>(i)]; }
  void note(int i) { touched_.push_back(i); }
  void reset() {
    for (int i : touched_) ids_[static_cast<std::size_t>(i)] = -1;
    touched_.clear();
  }
  void swap(RowIds& other) {
    ids_.swap(other.ids_);
    touched_.swap(other.touched_);
  }

 private:
  std::vector<int> ids_;
  std::vector<int> touched_;
};

class Tracer {
 public:
  Tracer(const SLGrid2D& grid, int x, int y, int w, int h)
      : grid_(grid), x_(x), y_(y), width_(w + 2), height_(h + 2),
        inside_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0) {}

  std::vector<Ring> run() {
    classifyPoints();
    linkCells();
    placeVertices();
    return collectRings();
  }

 private:
  std::uint8_t* row(int j) { return inside_.data() + static_cast<std::ptrdiff_t>(j) * width_; }
  bool in(int i, int j) const { return inside_[static_cast<std::size_t>(j) * width_ + i] != 0; }
  float imageX(int i) const { return static_cast<float>(x_ - 1 + i); }
  float imageY(int j) const { return static_cast<float>(y_ - 1 + j); }

  // Padded lattice: point (i, j) is image point (x - 1 + i, y - 1 + j); the outer ring stays outside.
  void classifyPoints() {
    const FillRule rule(grid_);
    const int w = width_ - 2, h = height_ - 2;
    ForEachLeafOfRect(grid_, x_, y_, w, h,
                      [&](unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::PixelBlock& b,
                          const VELDRA_TRW::LeafWindow& window) {
      if (rule.filledWhole(grid_, leaf)) {
        const std::uint8_t state = grid_.levelSet[leaf] < 0.0f ? 1 : 0;
        for (int py = b.row0; py <= b.row1; ++py)
          std::memset(row(py - y_ + 1) + (b.col0 - x_ + 1), state, static_cast<std::size_t>(b.col1 - b.col0 + 1));
        return;
      }
      // A stencil whose values all lie on one side settles its points without interpolating.
      VELDRA_TRW::LeafPixelStencils stencils(grid_, leaf, cx, cy, edge, &window);
      ValueRange ranges[4];
      bool known[4] = {false, false, false, false};
      for (int py = b.row0; py <= b.row1; ++py)
        for (int px = b.col0; px <= b.col1; ++px) {
          const VELDRA_TRW::LeafPixelStencils::Found found = stencils.at(px, py);
          ValueRange range;
          if (found.slot == VELDRA_TRW::LeafPixelStencils::kSearched) {
            range = StencilRange(grid_, found.stencil);
          } else {
            if (!known[found.slot]) ranges[found.slot] = StencilRange(grid_, found.stencil);
            known[found.slot] = true;
            range = ranges[found.slot];
          }
          row(py - y_ + 1)[px - x_ + 1] =
              range.hi <= 0.0f || (range.lo <= 0.0f &&
                                   VELDRA_TRW::sampling::InterpolateStencilOn(found.stencil, grid_.levelSet.data()) <= 0.0f);
        }
    });
  }

  int idOf(RowIds& ids, int i, int j, bool down) {
    int& id = ids[i];
    if (id < 0) {
      id = static_cast<int>(edges_.size());
      edges_.push_back(LatticeEdge{i, j, down});
      next_.push_back(-1);
      ids.note(i);
    }
    return id;
  }

  void linkCell(int i, int j, int code, RowIds& top, RowIds& bottom, RowIds& sides) {
    int connected = 0;
    if (code == 5 || code == 10)
      connected = LevelSetAt(grid_, imageX(i) + 0.5f, imageY(j) + 0.5f) <= 0.0f ? 1 : 0;
    const CellSegments& segments = Cases().cases[code][connected];
    const auto id = [&](int side) {
      switch (side) {
        case 0: return idOf(top, i, j, false);
        case 1: return idOf(sides, i + 1, j, true);
        case 2: return idOf(bottom, i, j + 1, false);
        default: return idOf(sides, i, j, true);
      }
    };
    for (int s = 0; s < segments.count; ++s) {
      const int from = id(segments.from[s]);
      next_[static_cast<std::size_t>(from)] = id(segments.to[s]);
    }
  }

  // Cells between lattice rows j and j + 1, runs of eight cells whose nine points on both rows agree
  // skipped at once.
  void linkCells() {
    RowIds top(width_), bottom(width_), sides(width_);
    constexpr std::uint64_t kAllInside = 0x0101010101010101ull;
    for (int j = 0; j + 1 < height_; ++j) {
      const std::uint8_t* a = row(j);
      const std::uint8_t* b = row(j + 1);
      int i = 0;
      while (i + 1 < width_) {
        if (i + 9 <= width_) {
          std::uint64_t wa, wb;
          std::memcpy(&wa, a + i, 8);
          std::memcpy(&wb, b + i, 8);
          if (wa == wb && (wa == 0 || wa == kAllInside) && a[i + 8] == a[i] && b[i + 8] == a[i]) {
            i += 8;
            continue;
          }
        }
        const int code = a[i] | (a[i + 1] << 1) | (b[i + 1] << 2) | (b[i] << 3);
        if (code != 0 && code != 15) linkCell(i, j, code, top, bottom, sides);
        ++i;
      }
      top.reset();
      top.swap(bottom);
      sides.reset();
    }
  }

  // Where the field crosses zero between a segment's inside and outside point: on the straight
  // piece through the inside point and the midpoint, or through the midpoint and the outside point.
  // Points outside the rectangle close rings halfway; a crossing that the samples do not confirm
  // (next to a leaf filled whole) is put halfway too.
  PathPoint crossing(const LatticeEdge& e) const {
    const int i1 = e.down ? e.i : e.i + 1, j1 = e.down ? e.j + 1 : e.j;
    const bool firstInside = in(e.i, e.j);
    const float ax = imageX(firstInside ? e.i : i1), ay = imageY(firstInside ? e.j : j1);
    const float bx = imageX(firstInside ? i1 : e.i), by = imageY(firstInside ? j1 : e.j);
    float t = 0.5f;
    const bool padded = e.i == 0 || e.j == 0 || i1 == width_ - 1 || j1 == height_ - 1;
    if (!padded) {
      const float vIn = LevelSetAt(grid_, ax, ay), vOut = LevelSetAt(grid_, bx, by);
      const float vMid = LevelSetAt(grid_, 0.5f * (ax + bx), 0.5f * (ay + by));
      if (vIn <= 0.0f && vMid > 0.0f) t = 0.5f * vIn / (vIn - vMid);
      else if (vMid <= 0.0f && vOut > 0.0f) t = 0.5f + 0.5f * vMid / (vMid - vOut);
      // Vertices keep off the points (by more than a rounding step of the largest images), so that
      // every point lies strictly on one side of a ring.
      t = std::min(std::max(t, 1.0f / 128.0f), 127.0f / 128.0f);
    }
    return PathPoint{ax + t * (bx - ax), ay + t * (by - ay)};
  }

  void placeVertices() {
    constexpr int kChunk = 256;
    points_.resize(edges_.size());
    const int chunks = static_cast<int>((edges_.size() + kChunk - 1) / kChunk);
    VELDRA_COMMON::parallelRows(0, chunks, [&](const tbb::blocked_range<int>& r) {
      for (int c = r.begin(); c != r.end(); ++c) {
        const std::size_t end = std::min(edges_.size(), static_cast<std::size_t>(c + 1) * kChunk);
        for (std::size_t k = static_cast<std::size_t>(c) * kChunk; k < end; ++k) points_[k] = crossing(edges_[k]);
      }
    });
  }

  std::vector<Ring> collectRings() const {
    std::vector<Ring> rings;
    std::vector<std::uint8_t> taken(edges_.size(), 0);
    for (std::size_t start = 0; start < edges_.size(); ++start) {
      if (taken[start]) continue;
      Ring ring;
      int k = static_cast<int>(start);
      while (k >= 0 && !taken[static_cast<std::size_t>(k)]) {
        taken[static_cast<std::size_t>(k)] = 1;
        ring.push_back(points_[static_cast<std::size_t>(k)]);
        k = next_[static_cast<std::size_t>(k)];
      }
      // Every crossed segment starts one cell's piece and ends another's, so each walk closes.
      if (k == static_cast<int>(start) && ring.size() >= 3) rings.push_back(std::move(ring));
    }
    return rings;
  }

  const SLGrid2D& grid_;
  int x_, y_, width_, height_;
  std::vector<std::uint8_t> inside_;
  std::vector<LatticeEdge> edges_;
  std::vector<int> next_;
  std::vector<PathPoint> points_;
};

}  // namespace

std::vector<Ring> TraceBoundary(const SLGrid2D& grid, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0 || !grid.hasBlock()) return {};
  return Tracer(grid, x, y, w, h).run();
}

}  // namespace VELDRA_EXTRAS_CORE
