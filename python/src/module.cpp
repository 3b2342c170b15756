// The Python module veldra: a selection brush that snaps to image edges, driven from numpy arrays.
// This file declares the module's classes and functions with their documentation; the checks of
// the arguments live in arguments.cpp and the library calls in session.cpp. Every library call runs
// with the interpreter lock released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <veldra/veldra.h>
#include <veldra/veldra_extras.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "arguments.h"
#include "host_conventions.h"
#include "session.h"
#include "snapshot.h"
#include "stroke_script.h"

namespace py = pybind11;
using namespace py::literals;
using veldra_python::Brush;
using veldra_python::Mode;
using veldra_python::Session;
using veldra_python::Snapshot;

namespace {

// Default, minimum and maximum of a library parameter.
struct Range {
  int defaultValue = 0, minimum = 0, maximum = 0;
};

Range LibraryRange(VELDRA::PARAM p) {
  Range r;
  VELDRA::GetDefaultParameter(p, &r.defaultValue, &r.minimum, &r.maximum);
  return r;
}

const Range kRadius = LibraryRange(VELDRA::PARAM_RADIUS);
const Range kCore = LibraryRange(VELDRA::PARAM_CORE);
const Range kEdgeSnap = LibraryRange(VELDRA::PARAM_EDGE_SNAP);
const Range kSmoothing = LibraryRange(VELDRA::PARAM_SMOOTHING);
constexpr int kDefaultBand = 10;
// Simplification tolerances beyond this many pixels would leave nothing of a ring but three vertices.
constexpr double kMaxTolerance = 1000.0;

float ToleranceArgument(py::handle tolerance) {
  return veldra_python::RealArgument(tolerance, "tolerance", 0.0, kMaxTolerance);
}

// The brush values; bandName is how the caller calls the band width.
Brush BrushArguments(py::handle radius, py::handle core, py::handle edgeSnap, py::handle smoothing, py::handle band,
                     const char* bandName = "band") {
  using veldra_python::IntArgument;
  Brush b;
  b.radius = IntArgument(radius, "radius", kRadius.minimum, kRadius.maximum);
  b.core = IntArgument(core, "core", kCore.minimum, kCore.maximum);
  b.edgeSnap = IntArgument(edgeSnap, "edge_snap", kEdgeSnap.minimum, kEdgeSnap.maximum);
  b.smoothing = IntArgument(smoothing, "smoothing", kSmoothing.minimum, kSmoothing.maximum);
  b.band = IntArgument(band, bandName, 0, paint::kMaxBand);
  return b;
}

const char* MattingModeName(int mode) {
  switch (mode) {
    case VELDRA::EDITMODE_SUBTRACT: return "outside";
    case VELDRA::EDITMODE_BAND: return "band";
    default: return "inside";
  }
}

// Two float32 arrays of the given shape, filled by fill(x, y) with the interpreter lock released.
template <typename F>
py::tuple FieldPair(int height, int width, F&& fill) {
  py::array_t<float> x({height, width}), y({height, width});
  float* px = x.mutable_data();
  float* py_ = y.mutable_data();
  {
    py::gil_scoped_release unlocked;
    fill(px, py_);
  }
  return py::make_tuple(x, y);
}

// An H x W uint8 array of the session's image, zeroed, then filled by read(bytes) with the
// interpreter lock released.
template <typename F>
py::array_t<std::uint8_t> ImageReadOut(const Session& s, F&& read) {
  py::array_t<std::uint8_t> out({s.height(), s.width()});
  std::uint8_t* bytes = out.mutable_data();
  std::fill(bytes, bytes + out.size(), 0);
  {
    py::gil_scoped_release unlocked;
    read(bytes);
  }
  return out;
}

// Docstrings whose first line is the text signature that help() and inspect show. They are built
// once with the library's defaults and live as long as the module.
const char* Doc(const std::string& text) { return (new std::string(text))->c_str(); }

std::string Param(const Range& r) {
  return std::to_string(r.defaultValue) + ", range " + std::to_string(r.minimum) + ".." + std::to_string(r.maximum);
}

std::string BrushSignature() {
  return "radius=" + std::to_string(kRadius.defaultValue) + ", core=" + std::to_string(kCore.defaultValue) +
         ", edge_snap=" + std::to_string(kEdgeSnap.defaultValue) + ", smoothing=" + std::to_string(kSmoothing.defaultValue);
}

std::string CoreDoc() {
  return "    radius: brush radius in pixels (default " + Param(kRadius) + ").\n"
         "    core: hard core of the brush in percent of the radius (default " + Param(kCore) + ").\n";
}

std::string BrushDoc() {
  return CoreDoc() +
         "    edge_snap: how strongly the boundary is pulled onto image edges (default " + Param(kEdgeSnap) + ").\n"
         "    smoothing: strength of the curvature term; negative values sharpen (default " + Param(kSmoothing) + ").\n";
}

const char* const kPointsDoc =
    "    points: (N, 2) array-like of pixel coordinates x, y (x to the right, y down the rows),\n"
    "        rounded to whole pixels; points may lie outside the image (the image border continues).\n";

}  // namespace

PYBIND11_MODULE(veldra, m) {
  py::options options;
  options.disable_function_signatures();

  m.doc() =
      "Paint a selection on an image with a brush whose boundary snaps to the image's edges.\n"
      "\n"
      "    import numpy as np, veldra\n"
      "    with veldra.Session(image) as s:          # image: H x W x 3 or 4 uint8 array\n"
      "        s.stroke([[120, 80], [140, 90]], radius=40, core=60)\n"
      "        mask = s.mask()                       # H x W uint8: 255 selected, 0 not\n"
      "\n"
      "The library keeps one selection per process: one Session is open at a time.";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const veldra_python::OutOfMemory& e) {
      PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const veldra_python::SessionClosed& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (const veldra_python::SnapshotRefused& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    }
  });

  py::class_<Session>(m, "Session",
                      "A selection being painted on one image.\n"
                      "\n"
                      "Session(image) copies the image (an H x W x 3 or H x W x 4 uint8 numpy array in any memory\n"
                      "layout; a fourth channel is ignored), computes its edge vector field once and sets the\n"
                      "library up with an empty selection and default parameters. Later changes to the array do not\n"
                      "reach the session.\n"
                      "\n"
                      "The library keeps one selection per process, so a second Session while one is open raises\n"
                      "RuntimeError: close() the first, or use `with veldra.Session(image) as s:`. Methods of a\n"
                      "closed session raise RuntimeError. Bad arguments raise TypeError (type, dtype) or ValueError\n"
                      "(shape, range, non-finite numbers) and leave the selection unchanged. The library runs with\n"
                      "the interpreter lock released; calls from several threads are serialised.\n"
                      "\n"
                      "Besides the two-level mask the selection reads out as soft edges (alpha) and as vector paths\n"
                      "(paths, svg_path); snapshot() and restore() give undo.")
      .def(py::init([](py::handle image, py::handle trace) {
             paint::RgbaImage rgba = veldra_python::ImageArgument(image, "image", 1);
             const bool traced = PyObject_IsTrue(trace.ptr()) == 1;
             py::gil_scoped_release unlocked;
             return std::make_unique<Session>(rgba, traced);
           }),
           "image"_a, py::kw_only(), "trace"_a = false,
           Doc("__init__(self, image, *, trace=False)\n--\n\n"
               "Opens a session on image (H x W x 3 or H x W x 4 uint8). The library writes a trace line to\n"
               "standard output for every refinement pass; unless trace is True, standard output is\n"
               "silenced while the library works (output of other threads in that time is lost too)."))
      .def_property_readonly("width", &Session::width, "Image width in pixels.")
      .def_property_readonly("height", &Session::height, "Image height in pixels.")
      .def_property_readonly("closed", &Session::closed, "True once close() was called.")
      .def(
          "close", [](Session& s) { py::gil_scoped_release unlocked; s.Close(); },
          Doc("close($self, /)\n--\n\n"
              "Releases the library's image and lets another Session open. Closing again does nothing."))
      .def("__enter__", [](py::object self) { return self; }, Doc("__enter__($self, /)\n--\n\n"))
      .def(
          "__exit__", [](Session& s, py::args) { py::gil_scoped_release unlocked; s.Close(); },
          Doc("__exit__($self, /, *args)\n--\n\nCloses the session."))
      .def("__repr__",
           [](const Session& s) {
             return "<veldra.Session " + std::to_string(s.width()) + "x" + std::to_string(s.height()) +
                    (s.closed() ? ", closed>" : ">");
           })
      .def(
          "seed",
          [](Session& s, py::handle mask) {
            auto bytes = veldra_python::MaskArgument(mask, s.width(), s.height());
            py::gil_scoped_release unlocked;
            s.Seed(std::move(bytes));
          },
          "mask"_a,
          Doc("seed($self, /, mask)\n--\n\n"
              "Replaces the selection by mask: an H x W bool array (True selected) or uint8 array (values\n"
              "above 128 selected), in any memory layout."))
      .def(
          "clear", [](Session& s) { py::gil_scoped_release unlocked; s.Clear(); },
          Doc("clear($self, /)\n--\n\nEmpties the selection."))
      .def(
          "stroke",
          [](Session& s, py::handle points, py::handle mode, py::handle radius, py::handle core, py::handle edgeSnap,
             py::handle smoothing, py::handle band) {
            const Mode m = veldra_python::ModeArgument(mode, true);
            const Brush b = BrushArguments(radius, core, edgeSnap, smoothing, band);
            const auto p = veldra_python::PointsArgument(points);
            py::gil_scoped_release unlocked;
            s.Stroke(m, b, p);
          },
          "points"_a, "mode"_a = "add", py::kw_only(), "radius"_a = kRadius.defaultValue,
          "core"_a = kCore.defaultValue, "edge_snap"_a = kEdgeSnap.defaultValue,
          "smoothing"_a = kSmoothing.defaultValue, "band"_a = kDefaultBand,
          Doc("stroke($self, /, points, mode='add', *, " + BrushSignature() + ", band=" +
              std::to_string(kDefaultBand) +
              ")\n--\n\n"
              "One press of the mouse: a brush event at every point, in order.\n"
              "\n" +
              std::string(kPointsDoc) +
              "    mode: 'add' or 'subtract'; 'auto' adds when the stroke starts inside the selection and\n"
              "        subtracts when it starts outside; 'smooth' smooths the boundary under the brush.\n" +
              BrushDoc() +
              "    band: width in pixels of the boundary band kept while a matting band is painted\n"
              "        (default " + std::to_string(kDefaultBand) + ", range 0.." + std::to_string(paint::kMaxBand) +
              ")."))
      .def(
          "line",
          [](Session& s, py::handle points, py::handle mode, py::handle radius, py::handle core) {
            const Mode m = veldra_python::ModeArgument(mode, false);
            Brush b = BrushArguments(radius, core, py::int_(kEdgeSnap.defaultValue),
                                     py::int_(kSmoothing.defaultValue), py::int_(kDefaultBand));
            const auto p = veldra_python::PointsArgument(points);
            py::gil_scoped_release unlocked;
            s.Line(m, b, p);
          },
          "points"_a, "mode"_a = "add", py::kw_only(), "radius"_a = kRadius.defaultValue,
          "core"_a = kCore.defaultValue,
          Doc("line($self, /, points, mode='add', *, radius=" + std::to_string(kRadius.defaultValue) +
              ", core=" + std::to_string(kCore.defaultValue) +
              ")\n--\n\n"
              "Straight thick lines with the brush's hard core (core percent of radius): a dot at the first\n"
              "point, then a segment to each next point. No edge snapping.\n"
              "\n" +
              std::string(kPointsDoc) +
              "    mode: 'add', 'subtract', or 'auto' (by the side of the boundary the first point lies on).\n" +
              CoreDoc()))
      .def(
          "band",
          [](Session& s, py::handle points, py::handle width, py::handle mattingRadius, py::handle radius,
             py::handle core, py::handle edgeSnap, py::handle smoothing) {
            const Brush b = BrushArguments(radius, core, edgeSnap, smoothing, width, "width");
            std::optional<float> matting;
            if (!mattingRadius.is_none())
              matting = veldra_python::RealArgument(mattingRadius, "matting_radius", 1.0, paint::kMaxMattingRadius);
            const auto p = veldra_python::PointsArgument(points);
            py::gil_scoped_release unlocked;
            s.Band(b, matting, p);
          },
          "points"_a, py::kw_only(), "width"_a = kDefaultBand, "matting_radius"_a = py::none(),
          "radius"_a = kRadius.defaultValue, "core"_a = kCore.defaultValue, "edge_snap"_a = kEdgeSnap.defaultValue,
          "smoothing"_a = kSmoothing.defaultValue,
          Doc("band($self, /, points, *, width=" + std::to_string(kDefaultBand) + ", matting_radius=None, " +
              BrushSignature() +
              ")\n--\n\n"
              "Paints the boundary band for matting (turning the three-region partition inside / band /\n"
              "outside on): mask() then shows the band as 128.\n"
              "\n" +
              std::string(kPointsDoc) + "    width: band width in pixels (default " + std::to_string(kDefaultBand) +
              ", range 0.." + std::to_string(paint::kMaxBand) +
              ").\n"
              "    matting_radius: radius in pixels of the band brush, 1..1250; None keeps the current one\n"
              "        (5 in a new session).\n" +
              BrushDoc()))
      .def(
          "mask",
          [](Session& s, py::handle band) {
            const int b = veldra_python::IntArgument(band, "band", 0, paint::kMaxBand);
            return ImageReadOut(s, [&](std::uint8_t* bytes) { s.Mask(b, bytes); });
          },
          "band"_a = 0,
          Doc("mask($self, /, band=0)\n--\n\n"
              "The selection as an H x W uint8 array: 255 inside, 0 outside, 128 in the boundary band\n"
              "(pixels within band of the boundary, or the painted matting band)."))
      .def(
          "matting_mode",
          [](Session& s, py::handle x, py::handle y) {
            const int px = veldra_python::IntArgument(x, "x", INT32_MIN, INT32_MAX);
            const int py_ = veldra_python::IntArgument(y, "y", INT32_MIN, INT32_MAX);
            int mode = 0;
            {
              py::gil_scoped_release unlocked;
              mode = s.MattingMode(px, py_);
            }
            return MattingModeName(mode);
          },
          "x"_a, "y"_a,
          Doc("matting_mode($self, /, x, y)\n--\n\n"
              "Where pixel (x, y) lies: 'inside', 'outside' or 'band' (near the boundary, or in the\n"
              "painted matting band)."))
      .def(
          "edge_snap_field",
          [](Session& s) {
            return FieldPair(s.height(), s.width(), [&](float* x, float* y) { s.EdgeSnapField(x, y); });
          },
          Doc("edge_snap_field($self, /)\n--\n\n"
              "The image's edge vector field as two H x W float32 arrays (x, y): the pull towards edges\n"
              "that the brush's boundary follows. Pixels beyond the image repeat its edge pixels."))
      .def(
          "alpha",
          [](Session& s, py::handle feather) {
            const float f = veldra_python::RealArgument(feather, "feather", 0.0, VELDRA_EXTRAS::kMaxFeather);
            return ImageReadOut(s, [&](std::uint8_t* bytes) { s.Alpha(f, bytes); });
          },
          "feather"_a = 0.0,
          Doc("alpha($self, /, feather=0.0)\n--\n\n"
              "The selection with soft edges, as an H x W uint8 array: each pixel's share inside the\n"
              "selection's boundary (pixel (x, y) is the unit square centred on (x, y)), 255 wholly inside,\n"
              "0 wholly outside, computed from the selection's sub-pixel field (not by blurring the mask).\n"
              "\n"
              "    feather: widens the edge over this many pixels on either side of the boundary, a smooth\n"
              "        falloff from 255 to 0 (default 0.0, range 0.0.." +
              py::str(py::float_(VELDRA_EXTRAS::kMaxFeather)).cast<std::string>() + ")."))
      .def(
          "paths",
          [](Session& s, py::handle tolerance) {
            const float t = ToleranceArgument(tolerance);
            paint::TracedSelection traced;
            {
              py::gil_scoped_release unlocked;
              traced = s.Paths(t);
            }
            py::list rings;
            for (const paint::Ring& ring : traced.rings) {
              py::array_t<float> xy({static_cast<py::ssize_t>(ring.size()), py::ssize_t{2}});
              if (!ring.empty()) std::copy(ring.front().data(), ring.front().data() + 2 * ring.size(), xy.mutable_data());
              rings.append(xy);
            }
            return rings;
          },
          "tolerance"_a = 0.0,
          Doc("paths($self, /, tolerance=0.0)\n--\n\n"
              "The selection's boundary as a list of closed rings, each an (N, 2) float32 array of x, y\n"
              "vertices (the last joins the first) on the selection's sub-pixel boundary. Outer rings run\n"
              "counter-clockwise as the image is displayed (x right, y down), holes clockwise; a selection\n"
              "reaching the image's edge is closed half a pixel beyond it. An empty selection gives [].\n"
              "\n"
              "    tolerance: simplifies each ring to at least three of its vertices such that the old and\n"
              "        the new ring are within tolerance pixels of each other; 0 keeps every vertex\n"
              "        (default 0.0, range 0.0..1000.0)."))
      .def(
          "svg_path",
          [](Session& s, py::handle tolerance) {
            const float t = ToleranceArgument(tolerance);
            py::gil_scoped_release unlocked;
            return s.Paths(t).svgPath;
          },
          "tolerance"_a = 0.0,
          Doc("svg_path($self, /, tolerance=0.0)\n--\n\n"
              "The rings of paths(tolerance) as SVG path data (\"M x y L x y ... Z\" per ring, at most three\n"
              "decimals), for the d attribute of a <path> filled with fill-rule nonzero or evenodd."))
      .def(
          "snapshot",
          [](Session& s) {
            py::gil_scoped_release unlocked;
            return s.TakeSnapshot();
          },
          Doc("snapshot($self, /)\n--\n\n"
              "A copy of the whole selection state (the field, the matting band and whether it is on), for\n"
              "restore(): undo. It costs time and memory in proportion to the selection's boundary, not to\n"
              "the image (Snapshot.nbytes); the memory is freed when the Snapshot is collected or released."))
      .def(
          "restore",
          [](Session& s, py::handle snapshot) {
            if (!py::isinstance<Snapshot>(snapshot))
              throw py::type_error("snapshot must be a veldra.Snapshot, got " +
                                   std::string(Py_TYPE(snapshot.ptr())->tp_name));
            const Snapshot& taken = snapshot.cast<const Snapshot&>();
            py::gil_scoped_release unlocked;
            s.Restore(taken);
          },
          "snapshot"_a,
          Doc("restore($self, /, snapshot)\n--\n\n"
              "Puts the selection back exactly as it was when snapshot was taken (the mask, alpha and paths\n"
              "read out the same, and the next stroke acts as it would have then). The brush values are not\n"
              "part of the selection. A snapshot can be restored any number of times. Raises RuntimeError\n"
              "for a released snapshot or one taken in another session (each session has its own image)."));

  py::class_<Snapshot>(m, "Snapshot",
                       "A copy of a Session's selection, made by Session.snapshot() and put back by\n"
                       "Session.restore(). The library holds the copy until the Snapshot is collected or\n"
                       "release() is called; it restores only into the session that took it.")
      .def_property_readonly("nbytes", &Snapshot::bytes, "Memory the library holds for this snapshot, in bytes (0 once released).")
      .def_property_readonly("released", [](const Snapshot& s) { return s.handle() == 0; },
                             "True once release() was called.")
      .def(
          "release", [](Snapshot& s) { py::gil_scoped_release unlocked; s.Release(); },
          Doc("release($self, /)\n--\n\n"
              "Frees the library's copy now rather than when the object is collected. Releasing again does\n"
              "nothing; a released snapshot can no longer be restored."))
      .def("__repr__", [](const Snapshot& s) {
        return "<veldra.Snapshot of a " + std::to_string(s.width()) + "x" + std::to_string(s.height()) + " image, " +
               (s.handle() == 0 ? std::string("released>") : std::to_string(s.bytes()) + " bytes>");
      });

  m.def(
      "edge_snap",
      [](py::handle block) {
        const paint::RgbaImage rgba = veldra_python::ImageArgument(block, "block", 2 * veldra_host::kSnapMargin + 1);
        const int h = rgba.height - 2 * veldra_host::kSnapMargin, w = rgba.width - 2 * veldra_host::kSnapMargin;
        py::tuple xy = FieldPair(h, w, [&](float* x, float* y) {
          std::fill(x, x + static_cast<std::size_t>(w) * h, NAN);
          veldra_python::EdgeSnapOfBlock(rgba, x, y);
          if (std::isnan(x[0])) throw veldra_python::OutOfMemory("the library could not allocate its edge snap work images");
        });
        return xy;
      },
      "block"_a,
      Doc("edge_snap(block)\n--\n\n"
          "The edge vector field of a block of an image, as the library computes it for a brush box: block\n"
          "is an (h + 24) x (w + 24) x 3 or 4 uint8 array, the box with a 12-pixel margin on every side;\n"
          "the result is two h x w float32 arrays (x, y) for the pixels inside the margin."));
}
