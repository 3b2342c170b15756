// Drawing rings into an RGB image, and the SVG document with the image embedded as base64 PNG.
#include "path_picture.h"

#include <algorithm>
#include <cmath>

#include "png_io.h"

namespace paint {
namespace {

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? std::uint32_t{bytes[i + 1]} << 8 : 0u) |
                            (i + 2 < bytes.size() ? std::uint32_t{bytes[i + 2]} : 0u);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

}  // namespace

void DrawRings(const std::vector<Ring>& rings, const std::array<std::uint8_t, 3>& colour, RgbImage* image) {
  for (const Ring& ring : rings)
    for (std::size_t k = 0; k < ring.size(); ++k) {
      const auto& a = ring[k];
      const auto& b = ring[(k + 1) % ring.size()];
      const int steps = 1 + static_cast<int>(4.0f * std::max(std::fabs(b[0] - a[0]), std::fabs(b[1] - a[1])));
      for (int s = 0; s <= steps; ++s) {
        const float t = static_cast<float>(s) / static_cast<float>(steps);
        const int x = static_cast<int>(std::floor(a[0] + t * (b[0] - a[0])));
        const int y = static_cast<int>(std::floor(a[1] + t * (b[1] - a[1])));
        if (x >= 0 && y >= 0 && x < image->width && y < image->height) std::copy(colour.begin(), colour.end(), image->at(x, y));
      }
    }
}

bool SvgPicture(const RgbaImage& image, const std::string& pathData, std::string* svg, std::string* error) {
  RgbImage rgb(image.width, image.height);
  for (std::size_t p = 0; p < static_cast<std::size_t>(image.width) * image.height; ++p)
    std::copy_n(&image.pixels[4 * p], 3, &rgb.pixels[3 * p]);
  std::vector<std::uint8_t> png;
  if (!EncodeRgbPng(rgb, &png, error)) return false;
  const std::string w = std::to_string(image.width), h = std::to_string(image.height);
  *svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
         "\">\n  <image x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" href=\"data:image/png;base64," + Base64(png) +
         "\"/>\n  <path fill=\"rgb(40,120,255)\" fill-opacity=\"0.35\" fill-rule=\"nonzero\" stroke=\"rgb(255,40,40)\""
         " stroke-width=\"1\" d=\"" + pathData + "\"/>\n</svg>\n";
  return true;
}

}  // namespace paint
