#include "lineSampler.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "interpolate.h"
#include "lineSteps.h"

namespace crest {

ClampLimits clampLimits(int32_t size) {
    const double ceiling = clampCeiling(size);
    const float rounded = static_cast<float>(ceiling);
    float threshold = rounded;
    if (static_cast<double>(threshold) > ceiling)
        threshold = std::nextafter(threshold, -std::numeric_limits<float>::infinity());
    return {rounded, threshold};
}

bool batchSamplable(int32_t h, int32_t w) {
    return h >= 2 && w >= 2 && h <= largestCeilingClampedSide && w <= largestCeilingClampedSide;
}

bool indexFits(int64_t along, int64_t lines, int64_t lineStep) {
    const int64_t stride = lineStep < 0 ? -lineStep : lineStep;
    return along < INT32_MAX && lines < INT32_MAX && stride <= (INT32_MAX - along - 1) / (lines + 1);
}

SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w) {
    return sampledMap(edgeMap, h, w, h, false, false);
}

SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w, int32_t lineStep, bool transposed,
                      bool reversed) {
    return {edgeMap, h, w, clampLimits(h), clampLimits(w), lineStep, transposed, reversed};
}

void fetchNeighbourPairs(const float *edgeMap, int32_t lineStep, int32_t n, StepScratch &step) {
    const float *nextColumn = edgeMap + lineStep;
    for (int32_t k = 0; k < n; ++k) {
        std::memcpy(&step.left[2 * k], edgeMap + step.index[k], 2 * sizeof(float));
        std::memcpy(&step.right[2 * k], nextColumn + step.index[k], 2 * sizeof(float));
    }
}

namespace {

// The edge step a constant, so that the forward loop stays plain indexing
// (and the orientation step too, where the caller's is).
template <int64_t EdgeStep>
int32_t listStrided(const float *edge, float *thinned, const float *orientation, int64_t orientationStep,
                    float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n) {
    // Non-zero rows first, without branching (NaN is not zero), then the
    // ones among them whose angle is finite and limit not NaN.
    int32_t listed = 0;
    int32_t y = y0;
    while (y < h && listed <= batchRows - listingGroup) {
        const int32_t end = h - y > listingGroup ? y + listingGroup : h;
        cpu::prefetch(ahead + y * EdgeStep);
        for (; y < end; ++y) {
            const float v = edge[y * EdgeStep];
            thinned[y] = v;
            c.rows[listed] = y;
            listed += v != 0.0f;
        }
    }
    int32_t kept = 0;
    for (int32_t k = 0; k < listed; ++k) {
        const int32_t row = c.rows[k];
        const float limit = edge[row * EdgeStep] * multiplier;
        const float theta = orientation[row * orientationStep];
        c.rows[kept] = row;
        c.theta[kept] = theta;
        c.limit[kept] = limit;
        c.group[kept] = quadrantGroup(theta);
        kept += std::isfinite(theta) && !std::isnan(limit);
    }
    *n = kept;
    return y;
}

}  // namespace

int32_t listCandidatesStrided(const float *edge, int64_t edgeStep, float *thinned, const float *orientation,
                              int64_t orientationStep, float multiplier, int32_t y0, int32_t h, const float *ahead,
                              Candidates &c, int32_t *n) {
    return edgeStep < 0
               ? listStrided<-1>(edge, thinned, orientation, orientationStep, multiplier, y0, h, ahead, c, n)
               : listStrided<1>(edge, thinned, orientation, orientationStep, multiplier, y0, h, ahead, c, n);
}

int32_t listCandidatesScalar(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                             bool backward) {
    const float *orientation = orientationMap + column;
    return backward ? listStrided<-1>(edge, thinned, orientation, -1, multiplier, y0, h, ahead, c, n)
                    : listStrided<1>(edge, thinned, orientation, 1, multiplier, y0, h, ahead, c, n);
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

void packLines(LineBatch &batch, StepScratch &step, float *thinned) {
    int32_t kept = 0;
    for (int32_t k = 0; k < batch.n; ++k) {
        const uint32_t alive = step.alive[k];
        clearUnlessAlive(thinned, batch.rows + k, step.alive + k, 1);
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
    clearUnlessAlive(thinned, batch.rows, step.alive, batch.n);
}

namespace {

// One line per lane: the plain operations.
struct ScalarLanes : PackingInPlace {
    static constexpr int32_t width = 1;
    using Floats = float;
    using Ints = int32_t;
    static float all(float v) { return v; }
    static int32_t allInts(int32_t v) { return v; }
    static float load(const float *p) { return *p; }
    static int32_t loadInts(const int32_t *p) { return *p; }
    static void store(float *p, float v) { *p = v; }
    static void storeInts(int32_t *p, int32_t v) { *p = v; }
    static float add(float a, float b) { return a + b; }
    static float sub(float a, float b) { return a - b; }
    static float mul(float a, float b) { return a * b; }
    static float toFloat(int32_t v) { return static_cast<float>(v); }
    static int32_t truncate(float v) { return static_cast<int32_t>(v); }
    static float clamp(float p, float threshold, float ceiling) {
        p = p >= 0.0f ? p : 0.0f;
        return p > threshold ? ceiling : p;
    }
    static int32_t linearIndex(int32_t iy, int32_t ix, int32_t h) { return iy + h * ix; }
    static int32_t linearIndexBack(int32_t iy, int32_t ix, int32_t h) { return h * ix - iy; }
    static void splitPairs(const float *pairs, float &first, float &second) {
        first = pairs[0];
        second = pairs[1];
    }
    static int32_t keepWeaker(uint32_t *alive, float s, float limit) {
        *alive &= s > limit ? 0u : ~0u;
        return *alive != 0;
    }
};

}  // namespace

void sampleLinesScalar(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<ScalarLanes>(map, x, radius, batch, thinned);
}

}  // namespace crest
