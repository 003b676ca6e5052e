// The plain suppression loop, one pixel at a time with the early exit, kept as
// the reference that the optimized kernel must match bit for bit. Shared by the
// differential tests and the benchmarks; not part of any module.
#pragma once

#include <cmath>
#include <cstdint>

#include "crest/interpolate.h"
#include "crest/thin.h"
#include "gateway/parallel.h"

namespace crestPlain {

inline void sinCos(float theta, float *sn, float *cs) {
#ifdef CREST_DOUBLE_SINCOS
    const double t = theta;
    *sn = static_cast<float>(std::sin(t));
    *cs = static_cast<float>(std::cos(t));
#else
    *cs = cosf(theta);
    *sn = sinf(theta);
#endif
}

// Steps -r .. -1, then 1 .. r; the first sample stronger than the limit decides.
inline bool strongerAlongLine(const float *edgeMap, int32_t h, int32_t w, float x, float y, float cs,
                              float sn, int32_t radius, float limit) {
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const float step = static_cast<float>(d);
        const float px = x + cs * step;
        const float py = y + sn * step;
        if (crest::interpolateBilinear(edgeMap, h, w, px, py) > limit) return true;
    }
    return false;
}

// Body of a parallel region, like crest::suppressNonMaxima.
inline void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius,
                              float multiplier, int32_t h, int32_t w, float *thinnedMap) {
    const parallel::Range columns = parallel::ceilBlock(w, parallel::teamSize(), parallel::threadId());
    for (int64_t x = columns.begin; x < columns.end; ++x) {
        const int64_t column = static_cast<int64_t>(h) * x;
        for (int32_t y = 0; y < h; ++y) {
            const int64_t i = column + y;
            const float v = edgeMap[i];
            thinnedMap[i] = v;
            if (v == 0.0f || radius <= 0) continue;
            const float limit = v * multiplier;
            const float theta = orientationMap[i];
            if (!std::isfinite(theta) || std::isnan(limit)) continue;
            float sn, cs;
            sinCos(theta, &sn, &cs);
            if (strongerAlongLine(edgeMap, h, w, static_cast<float>(x), static_cast<float>(y), cs, sn, radius,
                                  limit))
                thinnedMap[i] = 0.0f;
        }
    }
}

// crest::thinEdges with the plain suppression.
inline void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
                      float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    (void)team;
#ifdef _OPENMP
#pragma omp parallel num_threads(team)
#endif
    suppressNonMaxima(edgeMap, orientationMap, radius, multiplier, h, w, thinnedMap);
    crest::attenuateMargin(thinnedMap, h, w, marginWidth);
}

}  // namespace crestPlain
