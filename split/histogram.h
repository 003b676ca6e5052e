// Cumulative weighted histograms of one 8-bit feature over a node's samples,
// once over all classes and once per class. After them the weight on either
// side of any threshold bin, overall or for one class, is one subtraction away.
#pragma once

#include <cstdint>
#include <vector>

namespace split {

// Adds the weight of every listed sample, widened to double, into cdf[bin] in
// list order, then makes the first B elements cumulative. The caller sizes cdf
// to at least B elements and zero-fills it; nothing here allocates.
//
// A listed sample whose bin value is B or above would land outside the
// histogram: the pass stops there and returns that sample's list position,
// leaving cdf partly filled. Returns -1 when every bin value is below B.
// Listed sample numbers must lie inside the bin column and the weights.
int32_t constructCdf(const uint8_t *binColumn, const float *weights, int32_t B, int32_t n,
                     const uint32_t *nodeSamples, std::vector<double> &cdf);

// The same per class: histogram k gathers the samples labelled k + 1. Every
// class vector holds at least B zeros, and the label of every listed sample
// lies in 1 .. cdfPerClass.size(). Stops and reports a bin value of B or above
// as constructCdf does.
int32_t constructCdfPerClass(const uint8_t *binColumn, const uint32_t *labels,
                             const float *weights, int32_t B, int32_t n,
                             const uint32_t *nodeSamples,
                             std::vector<std::vector<double>> &cdfPerClass);

}  // namespace split
