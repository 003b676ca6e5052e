#include "lineSampler.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace crest {

ClampLimits clampLimits(int32_t size) {
    const double ceiling = static_cast<double>(size) - 1.001;
    const float rounded = static_cast<float>(ceiling);
    float threshold = rounded;
    if (static_cast<double>(threshold) > ceiling)
        threshold = std::nextafter(threshold, -std::numeric_limits<float>::infinity());
    return {rounded, threshold};
}

bool batchSamplable(int32_t h, int32_t w) { return h >= 2 && w >= 2 && h <= 32769 && w <= 32769; }

SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w) {
    return {edgeMap, h, w, clampLimits(h), clampLimits(w)};
}

void fetchNeighbourPairs(const float *edgeMap, int32_t h, int32_t n, StepScratch &step) {
    const float *nextColumn = edgeMap + h;
    for (int32_t k = 0; k < n; ++k) {
        std::memcpy(&step.left[2 * k], edgeMap + step.index[k], 2 * sizeof(float));
        std::memcpy(&step.right[2 * k], nextColumn + step.index[k], 2 * sizeof(float));
    }
}

int32_t listNonZeroScalar(const float *edge, float *thinned, int32_t y0, int32_t y1, int32_t *rows) {
    int32_t listed = 0;
    for (int32_t y = y0; y < y1; ++y) {
        const float v = edge[y];
        thinned[y] = v;
        rows[listed] = y;
        listed += v != 0.0f;
    }
    return listed;
}

namespace {

// Below 0 reads at 0, above the threshold at the ceiling.
inline float clampTo(float p, ClampLimits limits) {
    p = p >= 0.0f ? p : 0.0f;
    return p > limits.threshold ? limits.ceiling : p;
}

}  // namespace

// Step by step over the whole batch: positions and indices, then the
// neighbour pairs, then the samples and their comparison.
void sampleLinesScalar(const SampledMap &map, int32_t x, int32_t radius, const LineBatch &batch) {
    StepScratch step;
    const float xf = static_cast<float>(x);
    const int32_t h = map.h;
    for (int32_t k = 0; k < batch.n; ++k) batch.keep[k] = ~0u;
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const float fd = static_cast<float>(d);
        for (int32_t k = 0; k < batch.n; ++k) {
            const float px = clampTo(xf + batch.cs[k] * fd, map.columnLimits);
            const float py = clampTo(static_cast<float>(batch.rows[k]) + batch.sn[k] * fd, map.rowLimits);
            const int32_t ix = static_cast<int32_t>(px);
            const int32_t iy = static_cast<int32_t>(py);
            step.index[k] = iy + h * ix;
            step.fx[k] = px - static_cast<float>(ix);
            step.fy[k] = py - static_cast<float>(iy);
        }
        fetchNeighbourPairs(map.edgeMap, h, batch.n, step);
        for (int32_t k = 0; k < batch.n; ++k) {
            const float fx = step.fx[k], fy = step.fy[k];
            const float p00 = step.left[2 * k], p10 = step.left[2 * k + 1];
            const float p01 = step.right[2 * k], p11 = step.right[2 * k + 1];
            const float gx = 1.0f - fx;
            const float gy = 1.0f - fy;
            const float s = (gx * p00) * gy + (fx * p01) * gy + (gx * p10) * fy + (fx * p11) * fy;
            batch.keep[k] &= s > batch.limit[k] ? 0u : ~0u;
        }
    }
}

}  // namespace crest
