// Argument checks and conversions of the Python module.
#include "arguments.h"

#include <pybind11/numpy.h>

#include <cmath>

namespace py = pybind11;

namespace veldra_python {
namespace {

// Coordinates far beyond any image still fit an int after rounding.
constexpr double kCoordinateLimit = 1.0e9;

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

std::string Repr(py::handle value) { return py::repr(value).cast<std::string>(); }

std::string ShapeOf(const py::array& a) { return py::str(a.attr("shape")).cast<std::string>(); }

py::array ArrayArgument(py::handle value, const std::string& name) {
  if (!py::isinstance<py::array>(value))
    throw py::type_error(name + " must be a numpy array, got " + TypeName(value));
  return py::reinterpret_borrow<py::array>(value);
}

bool IsUint8(const py::array& a) { return a.dtype().kind() == 'u' && a.itemsize() == 1; }

std::string DtypeOf(const py::array& a) { return py::str(a.dtype()).cast<std::string>(); }

}  // namespace

bool ImageSizeSupported(long long width, long long height) {
  return width * width + height * height < (1LL << 32);
}

int IntArgument(py::handle value, const char* name, long long lo, long long hi) {
  PyObject* o = value.ptr();
  if (PyBool_Check(o) || !PyIndex_Check(o))
    throw py::type_error(std::string(name) + " must be an integer, got " + TypeName(value));
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(o));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0 || v < lo || v > hi)
    throw py::value_error(std::string(name) + " must be in " + std::to_string(lo) + ".." + std::to_string(hi) +
                          ", got " + Repr(value));
  return static_cast<int>(v);
}

float RealArgument(py::handle value, const char* name, double lo, double hi) {
  PyObject* o = value.ptr();
  const auto real = PyBool_Check(o) || PyUnicode_Check(o) || PyBytes_Check(o)
                        ? py::object()
                        : py::reinterpret_steal<py::object>(PyNumber_Float(o));
  if (!real) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a number, got " + TypeName(value));
  }
  const double v = PyFloat_AsDouble(real.ptr());
  if (!(v >= lo && v <= hi))
    throw py::value_error(std::string(name) + " must be in " + py::str(py::float_(lo)).cast<std::string>() + ".." +
                          py::str(py::float_(hi)).cast<std::string>() + ", got " + Repr(value));
  return static_cast<float>(v);
}

Mode ModeArgument(py::handle value, bool allowSmooth) {
  const char* expected = allowSmooth ? "'add', 'subtract', 'auto' or 'smooth'" : "'add', 'subtract' or 'auto'";
  if (!PyUnicode_Check(value.ptr()))
    throw py::type_error(std::string("mode must be a string, one of ") + expected + ", got " + TypeName(value));
  const std::string mode = value.cast<std::string>();
  if (mode == "add") return Mode::Add;
  if (mode == "subtract") return Mode::Subtract;
  if (mode == "auto") return Mode::Auto;
  if (mode == "smooth" && allowSmooth) return Mode::Smooth;
  throw py::value_error(std::string("mode must be ") + expected + ", got " + Repr(value));
}

paint::RgbaImage ImageArgument(py::handle value, const char* name, int minSide) {
  const py::array a = ArrayArgument(value, name);
  if (!IsUint8(a)) throw py::type_error(std::string(name) + " must have dtype uint8, got " + DtypeOf(a));
  if (a.ndim() != 3 || (a.shape(2) != 3 && a.shape(2) != 4))
    throw py::value_error(std::string(name) + " must have shape (H, W, 3) or (H, W, 4), got " + ShapeOf(a));
  if (a.shape(0) < minSide || a.shape(1) < minSide)
    throw py::value_error(std::string(name) + " must be at least " + std::to_string(minSide) + " pixels high and wide, got " +
                          ShapeOf(a));
  if (!ImageSizeSupported(a.shape(1), a.shape(0)))
    throw py::value_error(std::string(name) + " of shape " + ShapeOf(a) +
                          " is too large: width * width + height * height must stay below 2**32");
  const int height = static_cast<int>(a.shape(0)), width = static_cast<int>(a.shape(1));
  const bool alpha = a.shape(2) == 4;
  const py::ssize_t rowStep = a.strides(0), columnStep = a.strides(1), channelStep = a.strides(2);
  const auto* first = static_cast<const std::uint8_t*>(a.data());
  paint::RgbaImage image(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = first + y * rowStep;
    std::uint8_t* out = image.at(0, y);
    for (int x = 0; x < width; ++x, out += 4) {
      const std::uint8_t* p = row + x * columnStep;
      out[0] = p[0];
      out[1] = p[channelStep];
      out[2] = p[2 * channelStep];
      out[3] = alpha ? p[3 * channelStep] : 255;
    }
  }
  return image;
}

std::vector<std::uint8_t> MaskArgument(py::handle value, int width, int height) {
  const py::array a = ArrayArgument(value, "mask");
  const bool isBool = a.dtype().kind() == 'b';
  if (!isBool && !IsUint8(a)) throw py::type_error("mask must have dtype bool or uint8, got " + DtypeOf(a));
  if (a.ndim() != 2 || a.shape(0) != height || a.shape(1) != width)
    throw py::value_error("mask must have the image's shape (" + std::to_string(height) + ", " + std::to_string(width) +
                          "), got " + ShapeOf(a));
  const py::ssize_t rowStep = a.strides(0), columnStep = a.strides(1);
  const auto* first = static_cast<const std::uint8_t*>(a.data());
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::uint8_t* out = mask.data();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t v = first[y * rowStep + x * columnStep];
      *out++ = isBool ? (v != 0 ? 255 : 0) : v;
    }
  return mask;
}

std::vector<Point> PointsArgument(py::handle value) {
  py::array a;
  try {
    a = py::module_::import("numpy").attr("asarray")(value);
  } catch (const py::error_already_set&) {
    throw py::type_error("points must be an (N, 2) array of numbers, got " + TypeName(value));
  }
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f')
    throw py::type_error("points must hold numbers (x, y), got dtype " + DtypeOf(a));
  if (a.ndim() != 2 || a.shape(1) != 2) throw py::value_error("points must have shape (N, 2), got " + ShapeOf(a));
  const auto xy = py::array_t<double, py::array::forcecast>::ensure(a);
  if (!xy) throw py::error_already_set();
  const auto v = xy.unchecked<2>();
  std::vector<Point> points(static_cast<std::size_t>(v.shape(0)));
  for (py::ssize_t i = 0; i < v.shape(0); ++i) {
    const double x = v(i, 0), y = v(i, 1);
    if (!(std::fabs(x) <= kCoordinateLimit && std::fabs(y) <= kCoordinateLimit))
      throw py::value_error("points must be finite and within 1e9 pixels of the origin, point " + std::to_string(i) +
                            " is (" + Repr(py::float_(x)) + ", " + Repr(py::float_(y)) + ")");
    points[static_cast<std::size_t>(i)] = Point{static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
  }
  return points;
}

}  // namespace veldra_python
