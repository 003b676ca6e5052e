#include "histogram.h"

namespace split {

// Bins without weight add an exact zero, so every threshold inside a run of
// empty bins reads the same sums to the last bit.
static void makeCumulative(std::vector<double> &bins, int32_t B) {
    for (int32_t t = 1; t < B; ++t) bins[t] = bins[t] + bins[t - 1];
}

int32_t constructCdf(const uint8_t *binColumn, const float *weights, int32_t B, int32_t n,
                     const uint32_t *nodeSamples, std::vector<double> &cdf) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        const int32_t b = binColumn[s];
        if (b >= B) return i;
        cdf[b] = cdf[b] + static_cast<double>(weights[s]);
    }
    makeCumulative(cdf, B);
    return -1;
}

int32_t constructCdfPerClass(const uint8_t *binColumn, const uint32_t *labels,
                             const float *weights, int32_t B, int32_t n,
                             const uint32_t *nodeSamples,
                             std::vector<std::vector<double>> &cdfPerClass) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        const int32_t b = binColumn[s];
        if (b >= B) return i;
        std::vector<double> &histogram = cdfPerClass[labels[s] - 1];
        histogram[b] = histogram[b] + static_cast<double>(weights[s]);
    }
    for (std::vector<double> &histogram : cdfPerClass) makeCumulative(histogram, B);
    return -1;
}

}  // namespace split
