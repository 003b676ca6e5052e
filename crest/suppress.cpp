#include <cmath>
#include <cstring>

#include "interpolate.h"
#include "lineSampler.h"
#include "thin.h"

namespace crest {

namespace {

struct Stages {
    int32_t (*listCandidates)(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                              float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                              int32_t *n);
    void (*sampleLines)(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
};

Stages stagesOf(cpu::Isa isa) {
    switch (isa) {
#if defined(CPU_WIDE_SIMD)
    case cpu::Isa::avx512: return {listCandidatesAvx512, sampleLinesAvx512};
    case cpu::Isa::avx2: return {listCandidatesScalar, sampleLinesAvx2};
#endif
#if defined(CPU_X86_64)
    case cpu::Isa::sse2: return {listCandidatesScalar, sampleLinesSse2};
#endif
    default: return {listCandidatesScalar, sampleLinesScalar};
    }
}

// Sine and cosine of every candidate. The library function branches on the
// angle's range and quadrant, which random angles make unpredictable; taking
// the angles grouped by quadrant (the ones near 0 apart) keeps the branches on
// one path for long runs. Every value is still the function of its own angle.
// A counting sort with the group counters packed 12 bits apart in one
// register, so that nothing here branches on the data.
void sinCosByQuadrant(int32_t n, Candidates &c) {
    static_assert(batchCapacity < 4096 && quadrantGroups * 12 <= 64, "packed group counters");
    uint64_t counts = 0;
    for (int32_t k = 0; k < n; ++k) counts += uint64_t{1} << (12 * c.group[k]);
    uint64_t next = 0, running = 0;  // exclusive prefix sums, packed the same way
    for (int g = 0; g < quadrantGroups; ++g) {
        next |= running << (12 * g);
        running += (counts >> (12 * g)) & 0xfff;
    }
    for (int32_t k = 0; k < n; ++k) {
        const int shift = 12 * c.group[k];
        c.order[(next >> shift) & 0xfff] = static_cast<uint16_t>(k);
        next += uint64_t{1} << shift;
    }
    for (int32_t j = 0; j < n; ++j) {
        const int32_t k = c.order[j];
        orientationSinCos(c.theta[k], &c.sn[k], &c.cs[k]);
    }
}

// Maps one pixel across or wider than 32769: the clamping sampler that keeps
// the +1 neighbour inside, one sample at a time.
void sampleLinesAnySize(const float *edgeMap, int32_t h, int32_t w, int32_t x, int32_t radius,
                        const LineBatch &batch, float *thinned) {
    const float xf = static_cast<float>(x);
    for (int32_t k = 0; k < batch.n; ++k) {
        const float yf = static_cast<float>(batch.rows[k]);
        for (int64_t d = radius > 0 ? -1 : 0; d != 0; d = nextStep(d, radius)) {
            const float step = static_cast<float>(d);
            const float px = xf + batch.cs[k] * step;
            const float py = yf + batch.sn[k] * step;
            if (interpolateBilinear(edgeMap, h, w, px, py) > batch.limit[k]) {
                thinned[batch.rows[k]] = 0.0f;
                break;
            }
        }
    }
}

}  // namespace

void sampleLinesWith(cpu::Isa isa, const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch,
                     float *thinned) {
    stagesOf(isa).sampleLines(map, x, radius, batch, thinned);
}

// Each column is taken in stretches that hold a batch of candidates: copy the
// stretch while listing the pixels that a sample can suppress (a zero pixel
// costs a copy and a compare), work out their sines and cosines, then let the
// sampler test all their lines at once and clear the suppressed ones. A pixel
// is suppressed when any of its samples is stronger, which is what stopping
// at the first stronger one gives; its result depends on nothing but its own
// samples, so neither the grouping nor the order of the work counts.
void suppressNonMaximaWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t radius,
                           float multiplier, int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    if (columns.begin >= columns.end || h <= 0) return;
    const int64_t first = static_cast<int64_t>(h) * columns.begin;
    if (radius <= 0) {
        std::memcpy(thinnedMap + first, edgeMap + first,
                    static_cast<size_t>(h) * static_cast<size_t>(columns.end - columns.begin) * sizeof(float));
        return;
    }
    const bool batched = batchSamplable(h, w);
    const SampledMap map = batched ? sampledMap(edgeMap, h, w) : SampledMap{edgeMap, h, w, {}, {}};
    const Stages stages = stagesOf(isa);
    Candidates c;

    for (int64_t x = columns.begin; x < columns.end; ++x) {
        const int64_t column = static_cast<int64_t>(h) * x;
        const float *edge = edgeMap + column;
        float *thinned = thinnedMap + column;
        // The samples reach column x + r + 1, which nothing has read yet.
        const int64_t farthest = x + radius + 1;
        const float *ahead = edgeMap + static_cast<int64_t>(h) * (farthest < w ? farthest : w - 1);
        for (int32_t y0 = 0, y1; y0 < h; y0 = y1) {
            int32_t n;
            y1 = stages.listCandidates(edge, thinned, orientationMap, column, multiplier, y0, h, ahead, c, &n);
            if (n == 0) continue;
            sinCosByQuadrant(n, c);
            LineBatch batch{c.rows, c.sn, c.cs, c.limit, n};
            if (batched)
                stages.sampleLines(map, static_cast<int32_t>(x), radius, batch, thinned);
            else
                sampleLinesAnySize(edgeMap, h, w, static_cast<int32_t>(x), radius, batch, thinned);
        }
    }
}

void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                       int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    suppressNonMaximaWith(cpu::fastest(lineSamplerVersions), edgeMap, orientationMap, radius, multiplier, h, w,
                          columns, thinnedMap);
}

}  // namespace crest
