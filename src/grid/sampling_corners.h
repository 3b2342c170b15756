// Values at the corners of the sub-rectangles that cut a stencil square where children of its cells
// have their centres. Grid positions along each axis are indexed 0..3 for 0, 1/4, 3/4 and 1.
// Each corner value is a weighted sum of stencil cells and their children (weights add up to 1):
//  - a leaf cell's centre, or a child centre inside the square, is a sample point;
//  - a corner on a side of the square interpolates linearly between the side's anchors: the centres
//    of leaf cells on it and, for a subdivided cell on it, the mean of its two children facing the
//    square, placed a quarter from the cell's centre;
//  - an interior corner that is no sample point is the mean of the linear interpolations along its
//    horizontal and vertical lines between the nearest known points.
#pragma once
#include "grid/sampling_stencil.h"

namespace VELDRA_TRW::sampling {

// A small weighted sum of nodes; adding a node already present adds to its weight.
struct Terms {
  static constexpr int kCapacity = 8;
  unsigned node[kCapacity];
  float weight[kCapacity];
  int count = 0;

  void add(unsigned n, float w) {
    for (int i = 0; i < count; ++i)
      if (node[i] == n) {
        weight[i] += w;
        return;
      }
    if (count < kCapacity) {
      node[count] = n;
      weight[count] = w;
      ++count;
    }
  }
  void addScaled(const Terms& t, float f) {
    for (int i = 0; i < t.count; ++i) add(t.node[i], t.weight[i] * f);
  }
  float evaluate(const float* channel) const {
    float v = 0.0f;
    for (int i = 0; i < count; ++i) v += weight[i] * channel[node[i]];
    return v;
  }
};

// The corner at grid position (ix, iy) of a stencil whose mask is not 0. When the four cells are
// distinct nodes the terms come from a table worked out once per mask and position; otherwise (a
// coarse cell standing in for several places) the rules run on the nodes themselves.
void CornerTerms(const Stencil& s, int ix, int iy, Terms& out);

// The same corner, always by running the rules on the stencil's nodes: what the table must equal.
void CornerTermsByRules(const Stencil& s, int ix, int iy, Terms& out);

// The point's sub-rectangle over the grid lines that exist for the stencil's mask, with its corner
// positions (x0, x1, y0, y1 as grid indices) and the point's bilinear coordinates (s, t) inside it.
struct SubRectangle {
  int x0, x1, y0, y1;
  float s, t;
};
SubRectangle LocateSubRectangle(const Stencil& s);

// The grid lines that cut the square, by grid index: the sides always; across x the line at 1/4
// where a left cell (B or Y) has children and the line at 3/4 where a right one (X or D) has, and
// across y alike with the lower and upper cells. Sub-rectangles run between consecutive lines.
struct GridLines {
  bool x[4], y[4];
};
GridLines LinesOf(const Stencil& s);

// The interpolant of a stencil with children, on one channel.
float InterpolateSubdivided(const Stencil& s, const float* channel);

}  // namespace VELDRA_TRW::sampling
