// SVG path data written without the locale: std::to_chars, fixed notation, trailing zeros dropped.
#include "extras/svg_path.h"

#include <charconv>

namespace VELDRA_EXTRAS_CORE {
namespace {

void AppendNumber(std::string& out, float v) {
  char buffer[48];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
  char* end = result.ec == std::errc() ? result.ptr : buffer;
  if (end == buffer) *end++ = '0';
  while (end - buffer > 1 && end[-1] == '0') --end;
  if (end[-1] == '.') --end;
  if (end - buffer == 2 && buffer[0] == '-' && buffer[1] == '0') end = buffer + 1, buffer[0] = '0';  // "-0"
  out.append(buffer, end);
}

}  // namespace

std::string SvgPathData(const std::vector<Ring>& rings) {
  std::string out;
  for (const Ring& ring : rings) {
    for (std::size_t k = 0; k < ring.size(); ++k) {
      if (!out.empty()) out += ' ';
      out += k == 0 ? "M" : (k == 1 ? "L" : "");
      AppendNumber(out, ring[k].x);
      out += ' ';
      AppendNumber(out, ring[k].y);
    }
    if (!ring.empty()) out += " Z";
  }
  return out;
}

}  // namespace VELDRA_EXTRAS_CORE
