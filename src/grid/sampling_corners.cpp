// Corner values of the subdivided interpolant and the bilinear patch that uses them.
#include "grid/sampling_corners.h"

namespace VELDRA_TRW::sampling {
namespace {

constexpr float kGridPos[4] = {0.0f, 0.25f, 0.75f, 1.0f};

// The rules, over any naming of the stencil's nodes: `Nodes` gives cell(c) and child(c, k).
template <typename Nodes>
struct CornerRules {
  const Nodes& names;
  unsigned mask;

  bool subdivided(int c) const { return ((mask >> c) & 1u) != 0; }
  unsigned child(int c, unsigned k) const { return names.child(c, k); }

  // A cell on a side: its centre when it is a leaf, else the mean of its children k0 and k1.
  void anchor(int c, unsigned k0, unsigned k1, float f, Terms& out) const {
    if (!subdivided(c)) {
      out.add(names.cell(c), f);
      return;
    }
    out.add(child(c, k0), 0.5f * f);
    out.add(child(c, k1), 0.5f * f);
  }

  // Position pos (0..3) on a side of the square. alongX: the side y = 0 (fixed 0) or y = 1 (fixed 3),
  // running from B or Y to X or D; otherwise x = 0 or x = 1, running from B or X to Y or D.
  void side(bool alongX, int fixed, int pos, float f, Terms& out) const {
    int first, last;
    unsigned f0, f1, l0, l1;  // children facing the square of the first and the last cell
    if (alongX) {
      first = fixed == 3 ? CELL_Y : CELL_B;
      last = first + 1;
      f0 = 1, f1 = 3, l0 = 0, l1 = 2;
    } else {
      first = fixed == 3 ? CELL_X : CELL_B;
      last = first + 2;
      f0 = 2, f1 = 3, l0 = 0, l1 = 1;
    }
    const int a0 = subdivided(first) ? 1 : 0;
    const int a1 = subdivided(last) ? 2 : 3;
    // Positions beyond an anchor (a subdivided cell's own centre) are never asked for by the stencil
    // choice; they take the nearest anchor.
    if (pos <= a0) return anchor(first, f0, f1, f, out);
    if (pos >= a1) return anchor(last, l0, l1, f, out);
    const float t = (kGridPos[pos] - kGridPos[a0]) / (kGridPos[a1] - kGridPos[a0]);
    anchor(first, f0, f1, f * (1.0f - t), out);
    anchor(last, l0, l1, f * t, out);
  }

  void corner(int ix, int iy, float f, Terms& out) const {
    const bool onX = ix == 0 || ix == 3, onY = iy == 0 || iy == 3;
    if (onX && onY) {  // a cell centre
      const int c = (ix == 3 ? 1 : 0) + (iy == 3 ? 2 : 0);
      out.add(subdivided(c) ? child(c, 3u - static_cast<unsigned>(c)) : names.cell(c), f);
      return;
    }
    if (onY) return side(true, iy, ix, f, out);
    if (onX) return side(false, ix, iy, f, out);
    // Interior: the child of the owning cell that points into the square, when it exists.
    const int owner = (ix == 2 ? 1 : 0) + (iy == 2 ? 2 : 0);
    if (subdivided(owner)) {
      out.add(child(owner, 3u - static_cast<unsigned>(owner)), f);
      return;
    }
    // Along the row iy: known points are its two ends and the child centres on it.
    const int rowFirst = iy == 2 ? CELL_Y : CELL_B;
    const int left = ix == 1 ? 0 : (subdivided(rowFirst) ? 1 : 0);
    const int right = ix == 2 ? 3 : (subdivided(rowFirst + 1) ? 2 : 3);
    const float th = (kGridPos[ix] - kGridPos[left]) / (kGridPos[right] - kGridPos[left]);
    corner(left, iy, 0.5f * f * (1.0f - th), out);
    corner(right, iy, 0.5f * f * th, out);
    // Along the column ix.
    const int colFirst = ix == 2 ? CELL_X : CELL_B;
    const int below = iy == 1 ? 0 : (subdivided(colFirst) ? 1 : 0);
    const int above = iy == 2 ? 3 : (subdivided(colFirst + 2) ? 2 : 3);
    const float tv = (kGridPos[iy] - kGridPos[below]) / (kGridPos[above] - kGridPos[below]);
    corner(ix, below, 0.5f * f * (1.0f - tv), out);
    corner(ix, above, 0.5f * f * tv, out);
  }
};

// The interval [i0, i1] of grid positions containing v over the lines that exist (1/4 when l1, 3/4
// when l3), and v's fraction inside it.
void PickInterval(float v, bool l1, bool l3, int& i0, int& i1, float& frac) {
  i0 = 0;
  if (l1 && v >= 0.25f) i0 = 1;
  if (l3 && v >= 0.75f) i0 = 2;
  i1 = (i0 < 1 && l1) ? 1 : (i0 < 2 && l3) ? 2 : 3;
  frac = (v - kGridPos[i0]) / (kGridPos[i1] - kGridPos[i0]);
}

}  // namespace

namespace {

// The stencil's real nodes.
struct TreeNodes {
  const Stencil& s;
  unsigned cell(int c) const { return s.cell[c]; }
  unsigned child(int c, unsigned k) const { return s.child0[c] + k; }
};

// Codes standing for the nodes: cell c is c, child k of cell c is 4 + 4c + k. When the four cells are
// distinct nodes, all these nodes are distinct too, so the rules make exactly the same additions on
// codes as on nodes and a corner's terms can be worked out once per mask and position.
struct CodedNodes {
  static unsigned cell(int c) { return static_cast<unsigned>(c); }
  static unsigned child(int c, unsigned k) { return 4u + 4u * static_cast<unsigned>(c) + k; }
};

// A code's node as an entry of the stencil's node list {cell[0..3], child0[0..3]} plus a child
// offset, so that evaluating a tabled corner needs no decoding.
struct CodedTerm {
  unsigned char slot[Terms::kCapacity];
  unsigned char offset[Terms::kCapacity];
};

struct CornerTable {
  Terms corner[16][4][4];      // [mask][ix][iy], mask 0 unused
  CodedTerm placed[16][4][4];  // the same terms' nodes as slots and offsets
  CornerTable() {
    const CodedNodes codes;
    for (unsigned mask = 1; mask < 16; ++mask)
      for (int ix = 0; ix < 4; ++ix)
        for (int iy = 0; iy < 4; ++iy) {
          Terms& t = corner[mask][ix][iy];
          t.count = 0;
          CornerRules<CodedNodes>{codes, mask}.corner(ix, iy, 1.0f, t);
          for (int i = 0; i < t.count; ++i) {
            const unsigned code = t.node[i];
            placed[mask][ix][iy].slot[i] = static_cast<unsigned char>(code < 4u ? code : 4u + ((code - 4u) >> 2));
            placed[mask][ix][iy].offset[i] = static_cast<unsigned char>(code < 4u ? 0u : (code - 4u) & 3u);
          }
        }
  }
};

// Built while the library loads; nothing reads it before.
const CornerTable kCornerTable;

const CornerTable& cornerTable() { return kCornerTable; }

unsigned decode(const Stencil& s, unsigned code) {
  return code < 4u ? s.cell[code] : s.child0[(code - 4u) >> 2] + ((code - 4u) & 3u);
}

bool cellsDistinct(const Stencil& s) {
  const unsigned* c = s.cell;
  return c[0] != c[1] && c[0] != c[2] && c[0] != c[3] && c[1] != c[2] && c[1] != c[3] && c[2] != c[3];
}

}  // namespace

void CornerTermsByRules(const Stencil& s, int ix, int iy, Terms& out) {
  out.count = 0;
  CornerRules<TreeNodes>{TreeNodes{s}, s.mask}.corner(ix, iy, 1.0f, out);
}

void CornerTerms(const Stencil& s, int ix, int iy, Terms& out) {
  // A coarse cell standing in for several places: the rules merge its terms by node.
  if (s.mask == 0 || !cellsDistinct(s)) return CornerTermsByRules(s, ix, iy, out);
  const Terms& coded = cornerTable().corner[s.mask & 15u][ix][iy];
  out.count = coded.count;
  for (int i = 0; i < coded.count; ++i) {
    out.node[i] = decode(s, coded.node[i]);
    out.weight[i] = coded.weight[i];
  }
}

GridLines LinesOf(const Stencil& s) {
  const auto has = [&](int c) { return ((s.mask >> c) & 1u) != 0; };
  return GridLines{{true, has(CELL_B) || has(CELL_Y), has(CELL_X) || has(CELL_D), true},
                   {true, has(CELL_B) || has(CELL_X), has(CELL_Y) || has(CELL_D), true}};
}

SubRectangle LocateSubRectangle(const Stencil& s) {
  const GridLines lines = LinesOf(s);
  SubRectangle r;
  PickInterval(s.sx, lines.x[1], lines.x[2], r.x0, r.x1, r.s);
  PickInterval(s.sy, lines.y[1], lines.y[2], r.y0, r.y1, r.t);
  return r;
}

float InterpolateSubdivided(const Stencil& s, const float* channel) {
  const SubRectangle r = LocateSubRectangle(s);
  const bool tabled = cellsDistinct(s);
  // Terms::evaluate's sum, taken straight from the table when the table applies.
  // The stencil's nodes by slot: the four cells, then the four first children.
  const unsigned nodes[8] = {s.cell[0],   s.cell[1],   s.cell[2],   s.cell[3],
                             s.child0[0], s.child0[1], s.child0[2], s.child0[3]};
  const auto corner = [&](int ix, int iy) {
    if (!tabled) {
      Terms t;
      CornerTermsByRules(s, ix, iy, t);
      return t.evaluate(channel);
    }
    const Terms& coded = cornerTable().corner[s.mask & 15u][ix][iy];
    const CodedTerm& placed = cornerTable().placed[s.mask & 15u][ix][iy];
    float v = 0.0f;
    for (int i = 0; i < coded.count; ++i) v += coded.weight[i] * channel[nodes[placed.slot[i]] + placed.offset[i]];
    return v;
  };
  const float v00 = corner(r.x0, r.y0);
  const float v10 = corner(r.x1, r.y0);
  const float v01 = corner(r.x0, r.y1);
  const float v11 = corner(r.x1, r.y1);
  return ((1.0f - r.s) * v00 + r.s * v10) * (1.0f - r.t) + ((1.0f - r.s) * v01 + r.s * v11) * r.t;
}

}  // namespace VELDRA_TRW::sampling
