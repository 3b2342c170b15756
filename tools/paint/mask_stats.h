// Measures of a selection mask: how much is selected and how well it matches a reference.
#ifndef VELDRA_PAINT_MASK_STATS_H
#define VELDRA_PAINT_MASK_STATS_H

#include <vector>

#include "image.h"

namespace paint {

// Pixels with mask value 255 (the band, 128, is not counted as selected).
long long SelectedArea(const GrayImage& mask);

// Intersection over union of the selected pixels (255) of mask and the pixels of reference above
// 128. 1 when both are empty; 0 when the sizes differ.
double IntersectionOverUnion(const GrayImage& mask, const GrayImage& reference);

// Median and largest of a list of durations (0 for an empty list).
double Median(std::vector<double> values);
double Largest(const std::vector<double>& values);

}  // namespace paint

#endif  // VELDRA_PAINT_MASK_STATS_H
