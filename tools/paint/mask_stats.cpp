// Counting a mask's selected pixels and comparing it with a reference mask.
#include "mask_stats.h"

#include <algorithm>

namespace paint {

long long SelectedArea(const GrayImage& mask) {
  return std::count(mask.pixels.begin(), mask.pixels.end(), std::uint8_t{255});
}

double IntersectionOverUnion(const GrayImage& mask, const GrayImage& reference) {
  if (mask.width != reference.width || mask.height != reference.height) return 0.0;
  long long both = 0, either = 0;
  for (std::size_t i = 0; i < mask.pixels.size(); ++i) {
    const bool a = mask.pixels[i] == 255, b = reference.pixels[i] > 128;
    both += (a && b) ? 1 : 0;
    either += (a || b) ? 1 : 0;
  }
  return either == 0 ? 1.0 : static_cast<double>(both) / static_cast<double>(either);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  if (values.size() % 2 == 1) return values[mid];
  const double upper = values[mid];
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
  return 0.5 * (lower + upper);
}

double Largest(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

}  // namespace paint
