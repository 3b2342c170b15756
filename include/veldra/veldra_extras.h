// veldra extras: what an image editor asks of a selection beyond a mask, from the same library as
// veldra.h and with the same calling rules (one call at a time, on the host's thread).
//
//  - Soft edges: an 8-bit alpha read-out whose bytes are the share of each pixel inside the
//    selection, optionally feathered.
//  - Vector paths: the selection's boundary as closed polygons, simplified to a tolerance, and as
//    SVG path data.
//  - Snapshots: a copy of the whole selection state that can be put back later (undo).
//
// These functions only read the selection, except RestoreSnapshot, which puts a copy back. Any of
// them may be called between any two calls of veldra.h; none changes what those functions do.
//
// Geometry. Coordinates are image pixels as in veldra.h: the two-level read-out of GetSelection
// samples pixel (px, py) at the point (px, py). Here pixel (px, py) is the unit square centred on that
// point, so that an alpha above 127 agrees with GetSelection's two-level read-out away from the
// boundary, and a point of a traced path separates exactly the sample points that GetSelection
// reads as inside from those it reads as outside. The extras read the selection's own field, also
// while the regional partition (enableRLS) is on.
//
// Robustness: every function tolerates any argument. Without an engine and image grid, with null
// pointers, negative sizes, strides smaller than the width, rectangles not inside the image, NaN or
// negative feathers and tolerances, the functions return false, 0 or -1 and change nothing. Handles
// are numbers that are never reused: a released, unknown or wrong-kind handle is refused the same
// way. Running out of memory makes the function that needed it return false or 0.
#ifndef VELDRA_VELDRA_EXTRAS_H
#define VELDRA_VELDRA_EXTRAS_H

#include <veldra/veldra.h>

namespace VELDRA_EXTRAS {

// Handles of traced paths and of snapshots; 0 is never a valid handle.
typedef unsigned long long PathHandle;
typedef unsigned long long SnapshotHandle;

// Largest feather radius accepted by GetSelectionAlpha, in pixels.
constexpr float kMaxFeather = 1000.0f;

// ---- soft edges -------------------------------------------------------------------------------------

// Writes into alpha (first byte pixel (x, y), rows stride bytes apart) the share of each pixel of
// the rectangle (x, y, w, h) inside the selection: 255 wholly inside, 0 wholly outside, the fraction
// of the pixel's square where the interpolated field is at most 0 in between (rounded to the nearest
// 1/255). With feather F > 0 the edge is widened symmetrically around the boundary: each byte is the
// pixel's mean of a smooth falloff of the field from 1 at distance -F to 0 at +F (a cubic
// smoothstep), so the byte is 255 where the selection reaches F pixels beyond the pixel, 0 where the
// outside does, and about 128 on the boundary; a feather of 0 gives the plain share. Every byte of
// the rectangle is written, no byte outside it. Returns false, writing nothing, without a grid, for a
// null pointer, a non-positive size, a stride smaller than w, a stride whose last row's offset would
// pass 2^31 - 1, a rectangle not inside the image, or a feather that is NaN, negative or above
// kMaxFeather.
VELDRA_API bool GetSelectionAlpha(int x, int y, int w, int h, unsigned char* alpha, int stride, float feather);

// ---- vector paths -----------------------------------------------------------------------------------

// Traces the boundary of the selection within the rectangle (x, y, w, h) as closed polygons (rings).
// Vertices lie on the interpolated field's zero level between neighbouring sample points, with
// sub-pixel precision. Outer rings run counter-clockwise as the image is displayed (x right, y down),
// that is with negative signed area sum(x[k] * y[k + 1] - x[k + 1] * y[k]) / 2 in image coordinates;
// holes run clockwise (positive signed area). A selection reaching the rectangle's edge (the image's
// edge for the whole image) is closed along the line half a pixel beyond the outermost pixels.
// With tolerance > 0 each ring keeps a subset of its vertices, at least three, such that old and new
// ring are within tolerance pixels of each other (Hausdorff distance); 0 keeps every vertex. Returns a
// handle to the rings, to be released with ReleasePath, or 0 without a grid, for a non-positive size,
// a rectangle not inside the image, a tolerance that is NaN or negative, or when memory ran out. An
// empty selection gives a valid handle with no rings.
VELDRA_API PathHandle TraceSelectionPath(int x, int y, int w, int h, float tolerance);

// Number of rings of a traced path, or -1 for an unknown handle.
VELDRA_API int PathRingCount(PathHandle path);

// Copies up to `capacity` vertices of ring `ring` (0 .. PathRingCount - 1) into xy as x, y pairs
// (2 * capacity floats) and returns the ring's vertex count; with a null xy or capacity 0 only the
// count is returned. Returns -1 for an unknown handle or ring.
VELDRA_API int GetPathRing(PathHandle path, int ring, float* xy, int capacity);

// Writes the rings as SVG path data ("M x y L x y ... Z" per ring, at most three decimals) into
// text, zero-terminated, when capacity (bytes) exceeds its length, and returns its length without
// the terminating zero. With a null text or too small a capacity nothing is written. Fill it with
// fill-rule nonzero (or evenodd). Returns -1 for an unknown handle.
VELDRA_API long long WritePathSvg(PathHandle path, char* text, long long capacity);

// Frees a traced path. Unknown handles are ignored.
VELDRA_API void ReleasePath(PathHandle path);

// ---- snapshots --------------------------------------------------------------------------------------

// Copies the whole selection state: the tree, its value channels, the node allocator, the regional
// partition and whether it is on, and the state of a stroke in progress (its operation, the
// regional stroke flag). Takes time and memory in proportion to the used part of the node pools.
// Returns a handle, or 0 without a grid or when memory ran out.
VELDRA_API SnapshotHandle TakeSnapshot();

// Puts a snapshot back: afterwards the selection, its field dump and every read-out are bit for bit
// what they were when the snapshot was taken, and a stroke behaves exactly as one made then. The
// parameters, the band brush radius and the image size are the host's settings and stay as they are.
// The snapshot stays valid and can be restored again. Returns false, changing nothing, for an
// unknown handle, without a grid, when the image size changed since (another width or height), or
// when memory ran out.
VELDRA_API bool RestoreSnapshot(SnapshotHandle snapshot);

// Memory held by a snapshot in bytes, or 0 for an unknown handle.
VELDRA_API long long SnapshotBytes(SnapshotHandle snapshot);

// Frees a snapshot. Unknown handles are ignored.
VELDRA_API void ReleaseSnapshot(SnapshotHandle snapshot);

}  // namespace VELDRA_EXTRAS

#endif  // VELDRA_VELDRA_EXTRAS_H
