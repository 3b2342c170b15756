// Checks and converts the Python arguments of the module's functions. Every problem raises a Python
// exception with one line that names the argument: TypeError for a wrong type or dtype, ValueError
// for a wrong shape, a value out of range or a non-finite number.
#ifndef VELDRA_PYTHON_ARGUMENTS_H
#define VELDRA_PYTHON_ARGUMENTS_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "session.h"

namespace veldra_python {

// An integer (a Python int or a numpy integer, not a bool) within lo..hi.
int IntArgument(pybind11::handle value, const char* name, long long lo, long long hi);

// A real number within lo..hi.
float RealArgument(pybind11::handle value, const char* name, double lo, double hi);

// One of the brush modes; allowSmooth is false for line edits.
Mode ModeArgument(pybind11::handle value, bool allowSmooth);

// An H x W x 3 or H x W x 4 uint8 numpy array with any strides, as packed RGBA (alpha 255 for
// three channels). minSide is the smallest height and width accepted.
paint::RgbaImage ImageArgument(pybind11::handle value, const char* name, int minSide);

// An H x W bool or uint8 numpy array with any strides, as packed bytes (true becomes 255).
std::vector<std::uint8_t> MaskArgument(pybind11::handle value, int width, int height);

// An (N, 2) array-like of finite numbers, x then y, rounded to whole pixels.
std::vector<Point> PointsArgument(pybind11::handle value);

// The largest image the library supports: width * width + height * height < 2^32.
bool ImageSizeSupported(long long width, long long height);

}  // namespace veldra_python

#endif  // VELDRA_PYTHON_ARGUMENTS_H
