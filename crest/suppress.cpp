#include <cmath>
#include <cstring>
#include <limits>

#include "gateway/parallel.h"
#include "interpolate.h"
#include "lineSampler.h"
#include "thin.h"

namespace crest {

void orientationSinCos(float theta, float *sn, float *cs) {
#ifdef CREST_DOUBLE_SINCOS
    // The serial (macOS) build: both in double on the widened angle, each
    // rounded to single.
    const double t = theta;
    *sn = static_cast<float>(std::sin(t));
    *cs = static_cast<float>(std::cos(t));
#else
    *cs = cosf(theta);
    *sn = sinf(theta);
#endif
}

namespace {

struct Stages {
    int32_t (*listNonZero)(const float *edge, float *thinned, int32_t y0, int32_t y1, int32_t *rows);
    void (*sampleLines)(const SampledMap &map, int32_t x, int32_t radius, const LineBatch &batch);
};

Stages stagesOf(LineSampler sampler) {
#ifdef CREST_X86_SAMPLERS
    if (sampler == LineSampler::avx512) return {listNonZeroAvx512, sampleLinesAvx512};
    if (sampler == LineSampler::avx2) return {listNonZeroScalar, sampleLinesAvx2};
#else
    (void)sampler;
#endif
    return {listNonZeroScalar, sampleLinesScalar};
}

// The listed pixels of one stretch with what their lines need.
struct Stretch {
    alignas(64) int32_t rows[batchCapacity];
    alignas(64) float theta[batchCapacity];
    alignas(64) float sn[batchCapacity];
    alignas(64) float cs[batchCapacity];
    alignas(64) float limit[batchCapacity];
    alignas(64) uint32_t keep[batchCapacity];
    alignas(64) uint16_t order[batchCapacity];
};

// Keeps, in order, the listed pixels that a sample can suppress, with their
// angle and limit; returns how many. A non-finite angle gives no position on
// the map and a NaN limit compares with nothing: such pixels keep their value.
int32_t suppressible(const float *edge, const float *orientation, float multiplier, int32_t listed, Stretch &s) {
    int32_t n = 0;
    for (int32_t k = 0; k < listed; ++k) {
        const int32_t y = s.rows[k];
        const float pixelLimit = edge[y] * multiplier;
        const float theta = orientation[y];
        s.rows[n] = y;
        s.theta[n] = theta;
        s.limit[n] = pixelLimit;
        n += std::isfinite(theta) && !std::isnan(pixelLimit);
    }
    return n;
}

// Sine and cosine of every angle. The library function branches on the
// angle's range and quadrant, which random angles make unpredictable; taking
// the angles grouped by quadrant (and the ones near 0 apart) keeps the
// branches on one path for long runs. Every value is still the function of
// its own angle. A counting sort with the five counters packed 12 bits apart
// in one register, so that nothing here branches on the data.
void sinCosByQuadrant(int32_t n, Stretch &s) {
    static_assert(batchCapacity < 4096, "a group count must fit 12 bits");
    uint8_t group[batchCapacity];
    uint64_t counts = 0;
    for (int32_t k = 0; k < n; ++k) {
        float q = s.theta[k] * 0.636619772f;  // quarter turns
        q = q < -1.0e6f ? -1.0e6f : q;
        q = q > 1.0e6f ? 1.0e6f : q;
        const int32_t quadrant = static_cast<int32_t>(q + std::copysign(0.5f, q));
        const uint32_t g = (1u + (static_cast<uint32_t>(quadrant) & 3u)) & (0u - (quadrant != 0));
        group[k] = static_cast<uint8_t>(g);
        counts += uint64_t{1} << (12 * g);
    }
    // Exclusive prefix sums, still packed.
    uint64_t next = 0, running = 0;
    for (uint32_t g = 0; g < 5; ++g) {
        next |= running << (12 * g);
        running += (counts >> (12 * g)) & 0xfff;
    }
    for (int32_t k = 0; k < n; ++k) {
        const uint32_t shift = 12u * group[k];
        s.order[(next >> shift) & 0xfff] = static_cast<uint16_t>(k);
        next += uint64_t{1} << shift;
    }
    for (int32_t j = 0; j < n; ++j) {
        const int32_t k = s.order[j];
        orientationSinCos(s.theta[k], &s.sn[k], &s.cs[k]);
    }
}

// Maps one pixel across or wider than 32769: the clamping sampler that keeps
// the +1 neighbour inside, one sample at a time.
void sampleLinesAnySize(const float *edgeMap, int32_t h, int32_t w, int32_t x, int32_t radius,
                        const LineBatch &batch) {
    const float xf = static_cast<float>(x);
    for (int32_t k = 0; k < batch.n; ++k) {
        const float yf = static_cast<float>(batch.rows[k]);
        bool stronger = false;
        for (int64_t d = -static_cast<int64_t>(radius); d <= radius && !stronger; ++d) {
            if (d == 0) continue;
            const float step = static_cast<float>(d);
            const float px = xf + batch.cs[k] * step;
            const float py = yf + batch.sn[k] * step;
            stronger = interpolateBilinear(edgeMap, h, w, px, py) > batch.limit[k];
        }
        batch.keep[k] = stronger ? 0u : ~0u;
    }
}

// Clears a suppressed pixel's bits to +0 and leaves a kept one alone.
inline float keepOrZero(float v, uint32_t keep) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits &= keep;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Asks for the rows y0 - r - 1 .. y1 + r of column x + r + 1 (or the last):
// the samples of a stretch reach that far, and nothing has read it yet.
void prefetchAhead(const float *edgeMap, int32_t h, int32_t w, int64_t x, int32_t radius, int32_t y0, int32_t y1) {
    const int64_t reach = static_cast<int64_t>(radius) + 1;
    const int64_t column = x + reach < w ? x + reach : w - 1;
    const int64_t begin = y0 - reach > 0 ? y0 - reach : 0;
    const int64_t end = y1 + reach < h ? y1 + reach : h;
    const float *ahead = edgeMap + static_cast<int64_t>(h) * column;
    for (int64_t y = begin; y < end; y += 16) __builtin_prefetch(ahead + y);
}

}  // namespace

bool lineSamplerAvailable(LineSampler sampler) {
    switch (sampler) {
    case LineSampler::scalar:
        return true;
#ifdef CREST_X86_SAMPLERS
    case LineSampler::avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case LineSampler::avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

LineSampler fastestLineSampler() {
    if (lineSamplerAvailable(LineSampler::avx512)) return LineSampler::avx512;
    if (lineSamplerAvailable(LineSampler::avx2)) return LineSampler::avx2;
    return LineSampler::scalar;
}

// Each column is taken in stretches of batchRows rows: copy the stretch and
// list its non-zero pixels without branching (a zero pixel costs a copy and a
// compare), keep those that can be suppressed, work out their sines and
// cosines, test all their lines at once, and clear the suppressed ones.
// Taking every sample and suppressing when any is stronger gives what
// stopping at the first stronger one gives, and a pixel's result depends on
// nothing but its own samples, so neither the grouping nor the order counts.
void suppressNonMaximaWith(LineSampler sampler, const float *edgeMap, const float *orientationMap,
                           int32_t radius, float multiplier, int32_t h, int32_t w, float *thinnedMap) {
    const parallel::Range columns = parallel::ceilBlock(w, parallel::teamSize(), parallel::threadId());
    if (columns.begin >= columns.end) return;
    const int64_t first = static_cast<int64_t>(h) * columns.begin;
    if (radius <= 0) {
        std::memcpy(thinnedMap + first, edgeMap + first,
                    static_cast<size_t>(h) * static_cast<size_t>(columns.end - columns.begin) * sizeof(float));
        return;
    }
    const bool batched = batchSamplable(h, w);
    const SampledMap map = batched ? sampledMap(edgeMap, h, w) : SampledMap{edgeMap, h, w, {}, {}};
    const Stages stages = stagesOf(sampler);
    Stretch s;

    for (int64_t x = columns.begin; x < columns.end; ++x) {
        const int64_t column = static_cast<int64_t>(h) * x;
        const float *edge = edgeMap + column;
        float *thinned = thinnedMap + column;
        for (int32_t y0 = 0; y0 < h; y0 += batchRows) {
            const int32_t y1 = h - y0 > batchRows ? y0 + batchRows : h;
            const int32_t listed = stages.listNonZero(edge, thinned, y0, y1, s.rows);
            if (listed == 0) continue;
            prefetchAhead(edgeMap, h, w, x, radius, y0, y1);
            const int32_t n = suppressible(edge, orientationMap + column, multiplier, listed, s);
            if (n == 0) continue;
            sinCosByQuadrant(n, s);
            int32_t padded = n;
            for (; padded % batchLanes != 0; ++padded) {
                s.rows[padded] = 0;
                s.sn[padded] = 0.0f;
                s.cs[padded] = 0.0f;
                s.limit[padded] = std::numeric_limits<float>::quiet_NaN();
            }
            const LineBatch batch{s.rows, s.sn, s.cs, s.limit, padded, s.keep};
            if (batched)
                stages.sampleLines(map, static_cast<int32_t>(x), radius, batch);
            else
                sampleLinesAnySize(edgeMap, h, w, static_cast<int32_t>(x), radius, batch);
            if (n == y1 - y0) {
                // Every row kept, in order: a plain sweep.
                for (int32_t k = 0; k < n; ++k) thinned[y0 + k] = keepOrZero(thinned[y0 + k], s.keep[k]);
            } else {
                for (int32_t k = 0; k < n; ++k) thinned[s.rows[k]] = keepOrZero(thinned[s.rows[k]], s.keep[k]);
            }
        }
    }
}

void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                       int32_t h, int32_t w, float *thinnedMap) {
    suppressNonMaximaWith(fastestLineSampler(), edgeMap, orientationMap, radius, multiplier, h, w, thinnedMap);
}

}  // namespace crest
