// Reading and writing PNG files. Any PNG colour type is accepted on input and converted (grey and
// palette images become RGBA, colour images become grey for masks); 8-bit output is written
// without any gamma conversion, so a mask written and read back is byte for byte the same.
#ifndef VELDRA_PAINT_PNG_IO_H
#define VELDRA_PAINT_PNG_IO_H

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace paint {

// Largest image the tool accepts, in pixels (a guard against absurd headers).
inline constexpr long long kMaxImagePixels = 16384LL * 16384LL;

// Each returns true on success; on failure it returns false and sets *error to one line naming the
// file and the problem (missing, unreadable, not a PNG, damaged, too large).
bool ReadRgbaPng(const std::string& path, RgbaImage* image, std::string* error);
bool ReadGrayPng(const std::string& path, GrayImage* image, std::string* error);
bool WriteRgbPng(const std::string& path, const RgbImage& image, std::string* error);
bool WriteGrayPng(const std::string& path, const GrayImage& image, std::string* error);

// The PNG file of an image as bytes (for embedding), or false with *error.
bool EncodeRgbPng(const RgbImage& image, std::vector<std::uint8_t>* bytes, std::string* error);

}  // namespace paint

#endif  // VELDRA_PAINT_PNG_IO_H
