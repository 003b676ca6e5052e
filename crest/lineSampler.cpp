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

int32_t listCandidatesScalar(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n) {
    // Non-zero rows first, without branching (NaN is not zero), then the
    // ones among them whose angle is finite and limit not NaN.
    int32_t listed = 0;
    int32_t y = y0;
    while (y < h && listed <= batchRows - 16) {
        const int32_t end = h - y > 16 ? y + 16 : h;
        __builtin_prefetch(ahead + y);
        for (; y < end; ++y) {
            const float v = edge[y];
            thinned[y] = v;
            c.rows[listed] = y;
            listed += v != 0.0f;
        }
    }
    int32_t kept = 0;
    for (int32_t k = 0; k < listed; ++k) {
        const int32_t row = c.rows[k];
        const float limit = edge[row] * multiplier;
        const float theta = orientationMap[column + row];
        c.rows[kept] = row;
        c.theta[kept] = theta;
        c.limit[kept] = limit;
        c.group[kept] = quadrantGroup(theta);
        kept += std::isfinite(theta) && !std::isnan(limit);
    }
    *n = kept;
    return y;
}

int32_t padLines(LineBatch &batch, StepScratch &step) {
    int32_t padded = batch.n;
    for (; padded % batchLanes != 0; ++padded) {
        batch.rows[padded] = 0;
        batch.sn[padded] = 0.0f;
        batch.cs[padded] = 0.0f;
        batch.limit[padded] = std::numeric_limits<float>::quiet_NaN();
        step.alive[padded] = 0;
    }
    return padded;
}

namespace {

// A kept pixel's bits stay, a suppressed one's become +0.
inline void clearUnlessAlive(float *pixel, uint32_t alive) {
    uint32_t bits;
    std::memcpy(&bits, pixel, sizeof bits);
    bits &= alive;
    std::memcpy(pixel, &bits, sizeof bits);
}

}  // namespace

void packLines(LineBatch &batch, StepScratch &step, float *thinned) {
    int32_t kept = 0;
    for (int32_t k = 0; k < batch.n; ++k) {
        const uint32_t alive = step.alive[k];
        clearUnlessAlive(&thinned[batch.rows[k]], alive);
        batch.rows[kept] = batch.rows[k];
        batch.sn[kept] = batch.sn[k];
        batch.cs[kept] = batch.cs[k];
        batch.limit[kept] = batch.limit[k];
        step.alive[kept] = ~0u;
        kept += alive != 0;
    }
    batch.n = kept;
}

void clearSuppressed(const LineBatch &batch, const StepScratch &step, float *thinned) {
    for (int32_t k = 0; k < batch.n; ++k) clearUnlessAlive(&thinned[batch.rows[k]], step.alive[k]);
}

namespace {

// Below 0 reads at 0, above the threshold at the ceiling.
inline float clampTo(float p, ClampLimits limits) {
    p = p >= 0.0f ? p : 0.0f;
    return p > limits.threshold ? limits.ceiling : p;
}

}  // namespace

// Step by step over the live lines: positions and indices, then the
// neighbour pairs, then the samples and their comparison.
void sampleLinesScalar(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    StepScratch step;
    for (int32_t k = 0; k < batch.n; ++k) step.alive[k] = ~0u;
    const float xf = static_cast<float>(x);
    const int32_t h = map.h;
    for (int64_t d = radius > 0 ? -1 : 0; d != 0 && batch.n > 0; d = nextStep(d, radius)) {
        const float fd = static_cast<float>(d);
        const int32_t n = batch.n;
        for (int32_t k = 0; k < n; ++k) {
            const float px = clampTo(xf + batch.cs[k] * fd, map.columnLimits);
            const float py = clampTo(static_cast<float>(batch.rows[k]) + batch.sn[k] * fd, map.rowLimits);
            const int32_t ix = static_cast<int32_t>(px);
            const int32_t iy = static_cast<int32_t>(py);
            step.index[k] = iy + h * ix;
            step.fx[k] = px - static_cast<float>(ix);
            step.fy[k] = py - static_cast<float>(iy);
        }
        fetchNeighbourPairs(map.edgeMap, h, n, step);
        int32_t alive = 0;
        for (int32_t k = 0; k < n; ++k) {
            const float fx = step.fx[k], fy = step.fy[k];
            const float p00 = step.left[2 * k], p10 = step.left[2 * k + 1];
            const float p01 = step.right[2 * k], p11 = step.right[2 * k + 1];
            const float gx = 1.0f - fx;
            const float gy = 1.0f - fy;
            const float s = (gx * p00) * gy + (fx * p01) * gy + (gx * p10) * fy + (fx * p11) * fy;
            step.alive[k] &= s > batch.limit[k] ? 0u : ~0u;
            alive += step.alive[k] != 0;
        }
        if (worthPacking(alive, n, d, radius)) packLines(batch, step, thinned);
    }
    clearSuppressed(batch, step, thinned);
}

}  // namespace crest
