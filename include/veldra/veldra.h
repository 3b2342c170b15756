// veldra: a selection-brush engine for image editors.
//
// The host keeps one selection per image in the library. The selection is a signed distance field
// (negative inside) on a sparse adaptive quadtree; brush strokes grow, shrink, smooth and paint it, and
// the front is pulled onto image edges by an edge vector field that the library computes from the
// host's pixels. The host reads the selection back as an 8-bit mask.
//
// Threading: every function runs on the calling thread and the host makes one call at a time. Some
// calls use a task scheduler internally and return only when that work is finished.
//
// Coordinates are image pixels, x to the right and y down the rows. Integer coordinates are used
// unchanged, so a pixel is sampled at its corner.
//
// Failures. The library raises two kinds of exception, and each function below says which may leave
// it ("Raises"):
//  - the int 1, thrown when the selection's node pools cannot reserve or commit memory. The editing
//    functions (InitializeWithVeldraBrush, InitSelection, RefineSelection, AddDeleteLine, Step,
//    Smoothen) catch it and return false; the selection stays usable and consistent (work done before
//    the failure is kept), and the next call works normally once memory is available again.
//    InitializeImage does not catch it: the int reaches the host, and the engine has no grid.
//  - std::bad_alloc, thrown when the general heap runs out (the edge-snap work rows, the work
//    lists of an edit, the task scheduler's tasks). Nothing in the library catches it.
//
// Robustness choices made by this library where the calling contract leaves them open. No argument
// value makes a function crash; calls that keep to the contract behave exactly as documented below.
//  - Every function that needs the engine or its image grid and is called before
//    InitializeWithVeldraBrush (or after the grid was released) does nothing and returns false (for
//    functions returning bool), 0 / EDITMODE_ADD (for the others with a result).
//  - Null pointers, negative sizes and rectangles that do not fit the image are refused as each
//    function describes; a refused call changes nothing.
//  - Row strides: a buffer's first element is that of the rectangle's first row, and row r lies
//    r * stride elements further on. A negative stride is a buffer stored bottom-up (the pointer at
//    the rectangle's top row, which comes last in memory) and works as a positive one does. Buffers
//    the library only reads (InitSelection's mask, Step's edge-snap arrays, ComputeEdgeSnapData's
//    image) may have rows that overlap or coincide (|stride| smaller than the row, stride 0 for one
//    row repeated): each row is read where its stride puts it. Buffers the library writes
//    (GetSelection's mask, ComputeEdgeSnapData's arrays) must not have overlapping rows; such a
//    call is refused and writes nothing.
//  - Coordinates (brush points, line ends, query points) may be any int: points outside the image
//    are answered or painted as the image border continues, never by reading outside the grid.
//  - A stroke event without a preceding MouseDown continues the operation the last stroke chose. A
//    new image (InitializeImage) in the middle of a stroke keeps the stroke's operation; the next
//    event works on the new, empty selection.
#ifndef VELDRA_VELDRA_H
#define VELDRA_VELDRA_H

#if defined(_WIN32)
#define VELDRA_API __declspec(dllexport)
#else
#define VELDRA_API __attribute__((visibility("default")))
#endif

namespace VELDRA {

// Edit modes of the stroke functions, and the answers of GetMattingMode.
enum EDITMODE : int {
  EDITMODE_ADD = 0,       // the stroke adds to the selection; GetMattingMode: inside
  EDITMODE_SUBTRACT = 1,  // the stroke removes from the selection; GetMattingMode: outside
  EDITMODE_AUTO = 2,      // add or remove, chosen by the side on which the stroke starts
  EDITMODE_SMOOTH = 3,    // the stroke smooths the boundary
  EDITMODE_BAND = 4       // GetMattingMode: the point lies in the boundary band
};

// The five tunable parameters (defaults and ranges from GetDefaultParameter):
//   PARAM_RADIUS     10, 1..1250     brush radius in pixels
//   PARAM_CORE       30, 0..100      hard core of the brush, percent of the radius
//   PARAM_EDGE_SNAP  75, 0..100      weight of the edge-snap term
//   PARAM_SMOOTHING  100, -100..100  strength of the curvature term; negative values sharpen
//   PARAM_SPARE      1000, 0..1000   stored and reported; no operation reads it
// The current values start at 0 when the library is loaded; the library never applies the defaults
// itself, so a host reads them with GetDefaultParameter and sets each with SetParameter.
enum PARAM : int {
  PARAM_RADIUS = 0,
  PARAM_CORE = 1,
  PARAM_EDGE_SNAP = 2,
  PARAM_SMOOTHING = 3,
  PARAM_SPARE = 4
};

// Accepted by InitializeWithVeldraBrush for compatibility; the library never calls it.
typedef void (*BrushCallback)(const void*, int, int, int, int, unsigned char*, unsigned int);

// Creates the engine on first use and sets it up for a width x height image (as InitializeImage).
// When releaseImage is true the image grid is released at once; the engine then has no grid until the
// next InitializeImage. A second call keeps the engine, the parameters, the matting brush radius and
// the regional-stroke flag, and rebuilds the grid. Returns true, or false when memory ran out or the
// image is too large (the engine is then left without a grid). Negative sizes are treated as 0.
// Images up to width * width + height * height < 2^32 are supported (sides up to 46340 for a square,
// 65535 for a strip). Raises: std::bad_alloc (the engine is then left without a grid).
VELDRA_API bool InitializeWithVeldraBrush(BrushCallback callback1, BrushCallback callback2, int width,
                                          int height, bool releaseImage);

// Replaces the grid by a new, empty one for a width x height image. Returns 0. Before
// InitializeWithVeldraBrush it does nothing. An image larger than InitializeWithVeldraBrush supports
// leaves the engine without a grid. Negative sizes are treated as 0.
// Raises: the int 1 when the node pools cannot reserve or commit memory, std::bad_alloc when the
// general heap runs out; either leaves the engine without a grid (the old one is released first).
VELDRA_API int InitializeImage(int width, int height);

// Writes the default, minimum and maximum of a parameter. Returns 0, or -1 (writing nothing) when any
// pointer is null or the parameter is not one of the five. Raises nothing.
VELDRA_API int GetDefaultParameter(PARAM parameter, int* defaultValue, int* minimum, int* maximum);

// Writes the current value of a parameter. Returns 0, or -1 when the parameter is not one of the five
// or the pointer is null (nothing is written then). Raises nothing.
VELDRA_API int GetParameter(PARAM parameter, int* value);

// Clamps value into the parameter's range and stores it. Returns 0, or -1 (changing nothing) when the
// parameter is not one of the five. Raises nothing.
VELDRA_API int SetParameter(PARAM parameter, int value);

// Resets the selection to empty, keeping the image size. Does nothing without an engine and grid.
// Raises nothing.
VELDRA_API void Deselect();

// Seeds the selection inside the rectangle (x, y, width, height) from an 8-bit mask whose first byte
// belongs to pixel (x, y), rows stride bytes apart (any stride, see above): bytes above 128 are
// selected. The selection outside the rectangle is kept. Returns true, or false when memory ran out,
// without a grid, for a null mask or a rectangle that is not inside the image (nothing is changed
// then). An empty rectangle returns true and changes nothing. Raises: std::bad_alloc.
VELDRA_API bool InitSelection(int x, int y, int width, int height, unsigned char* mask, int stride);

// Accepted for compatibility: ignores its arguments and returns true. Raises nothing.
VELDRA_API bool FeedbackMat(int x, int y, int width, int height, unsigned char* mask, int stride);

// Runs passes refinement passes over the whole image (8 when passes < 1, at most 256), which refine
// the tree around the boundary and coarsen it elsewhere. Returns true, or false when a pass ran out
// of memory or there is no grid. Raises: std::bad_alloc.
VELDRA_API bool RefineSelection(int passes);

// Classifies pixel (x, y): EDITMODE_ADD inside the selection, EDITMODE_SUBTRACT outside, EDITMODE_BAND
// near the boundary (or in the boundary band of the regional partition). Returns EDITMODE_ADD without
// an engine or grid. Points far outside the image are answered as at the outer edge of the grid's
// border (EDITMODE_SUBTRACT unless the selection reaches the image edge there). Raises nothing.
VELDRA_API EDITMODE GetMattingMode(int x, int y);

// Renders the selection inside the pixel rectangle (x, y, w, h) into mask, whose first byte belongs to
// pixel (x, y), rows stride bytes apart (negative for a bottom-up buffer): 255 inside, 128 in the
// boundary band (the band parameter is the band width in pixels), 0 outside; with the regional
// partition enabled, its labels instead. Only pixels within PARAM_RADIUS of (centerX, centerY) are
// written; no byte outside the rectangle is ever written. The rectangle may reach past the image's
// right and bottom edges as far as the image's root tiles (the image rounded up to multiples of 256
// pixels), so a host may read back by tiles or by a brush box it does not clip: pixels past the image
// read the selection as it continues beyond the image edge. Does nothing without a grid, for a null
// mask, a non-positive size, rows that overlap (|stride| < w with h > 1), a buffer whose offsets
// (h - 1) * |stride| + w - 1 exceed 2^31 - 1, or a rectangle that starts left of or above the image or
// reaches beyond its root tiles.
// Raises: std::bad_alloc, only if the task scheduler cannot allocate its tasks.
VELDRA_API void GetSelection(int x, int y, int w, int h, unsigned char* mask, int stride, float centerX,
                             float centerY, int band);

// Computes the edge vector field that Step consumes, for a w x h block. image holds (w + 24) x (h + 24)
// pixels of 4 bytes (red, green, blue, ignored), imageStride pixels per row; output pixel (x, y)
// describes image pixel (x + 12, y + 12). snapX and snapY receive w x h floats each, rows snapXStride
// and snapYStride floats apart. Any stride may be negative; image rows may overlap. Does nothing for
// null pointers, w or h below 1, or output rows that overlap (|snapXStride| or |snapYStride| < w with
// h > 1). Raises: std::bad_alloc when the work rows (about 55 rows of 16 bytes per pixel of the
// block's width, for each thread at work) cannot grow; neither array has been written then.
VELDRA_API void ComputeEdgeSnapData(int w, int h, unsigned char* image, int imageStride, float* snapX,
                                    int snapXStride, float* snapY, int snapYStride);

// Paints a thick line from (x0, y0) to (x1, y1) with the brush's hard core: adds in EDITMODE_ADD,
// removes in EDITMODE_SUBTRACT. In EDITMODE_AUTO the first event of a stroke chooses by the label at
// its end point (x1, y1), not at its start: it adds when (x1, y1) lies inside the selection and
// removes when it lies outside (in the regional partition's band it does neither), and later events
// of the stroke keep that choice. Returns true, or false when memory ran out or there is no grid.
// Raises: std::bad_alloc.
VELDRA_API bool AddDeleteLine(EDITMODE mode, int x0, int y0, int x1, int y1);

// One brush event at (x, y). The rectangle (boxX, boxY, boxWidth, boxHeight) is the part of the image
// the event may change and the extent of the edge vector field snapX / snapY (row strides in floats),
// as produced by ComputeEdgeSnapData for that rectangle. band is the width in pixels of the boundary
// band kept by the regional partition. The strides may be negative and rows may overlap (see above).
// Returns true, or false when memory ran out.
// Refused with false, changing nothing: no grid; a null snapX or snapY; a negative size; a rectangle
// wholly outside the image; arrays whose offsets (h - 1) * |stride| + w - 1 over the rectangle cut to
// the image exceed 2^31 - 1; an edge-snap value within PARAM_RADIUS + 2 pixels of (x, y) that is not
// finite or exceeds 1e30 in magnitude. A rectangle reaching beyond the image is cut to the image (the
// arrays are still indexed from (boxX, boxY)).
// Raises: std::bad_alloc.
VELDRA_API bool Step(EDITMODE mode, int band, int x, int y, int boxX, int boxY, int boxWidth,
                     int boxHeight, float* snapX, int snapXStride, float* snapY, int snapYStride);

// One smoothing event at (x, y) inside the rectangle (boxX, boxY, boxWidth, boxHeight). Returns true,
// or false when memory ran out. Refused with false, changing nothing: no grid, a negative size, a
// rectangle wholly outside the image. A rectangle reaching beyond the image is cut to the image.
// Raises: std::bad_alloc.
VELDRA_API bool Smoothen(int x, int y, int boxX, int boxY, int boxWidth, int boxHeight);

// Start and end of a stroke: the next stroke event chooses its operation anew. MouseUp also ends a
// regional stroke begun by enableRLS. Both do nothing before InitializeWithVeldraBrush. Raise nothing.
VELDRA_API void MouseDown();
VELDRA_API void MouseUp();

// True when the circle of the given radius around pixel (x, y) crosses the selection boundary (or a
// border of the regional partition), and for a centre outside the image. False without a grid.
// Raises nothing.
VELDRA_API bool CheckCircleRegionIntersection(int x, int y, int radius);

// Combines an inner circle test (percent of radius) and an outer one with the inclusive rectangle
// (left, top, right, bottom) into one answer: whether the brush at (x, y) may skip its evolution step.
// False without a grid. Raises nothing.
VELDRA_API bool CheckSkipEvolution(int x, int y, int percent, int radius, int left, int top, int right,
                                   int bottom);

// Writes the field as a little-endian portable float map "field.pbm" into the current directory, for
// diagnostics: red holds -value inside, green the value outside. Does nothing without a grid.
// Raises nothing (a file that cannot be opened is not written).
VELDRA_API void SaveSelectionToFile();

// Accepted for compatibility: does nothing. Raises nothing.
VELDRA_API void SaveSelectionToFile(void* unused);

// Turns the regional partition (inside, outside, boundary band of the given width) on, building it
// from the current selection if it was off, and starts a regional stroke. Does nothing without a grid.
// Raises nothing.
VELDRA_API void enableRLS(int band);

// Turns the regional partition off (its data are kept until it is enabled again and rebuilt). Raises
// nothing.
VELDRA_API void disableRLS();

// Sets the radius in pixels of the band-painting brush (default 5). A negative, infinite or NaN radius
// is ignored. Raises nothing.
VELDRA_API void setMattingBrushRadius(float radius);

}  // namespace VELDRA

#endif  // VELDRA_VELDRA_H
