// The suppression written plainly, one pixel and one step at a time, in the
// order of operations that fixes every bit of the result. This is "the plain
// loop": the differential tests hold every kernel version to it, the benchmark
// times it beside the kernel, and the platform checks replay single pixels
// with it. suppress.cpp and lineSteps.h do the same operations for many
// pixels at once.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/parallel.h"
#include "interpolate.h"
#include "thin.h"

namespace crest::reference {

// The search of the pixel at row y, column x along its line: steps -r ... -1,
// then 1 ... r, each a bilinear sample at (x + cs*d, y + sn*d), all in single
// precision, clamped into the map (interpolate.h; on maps one pixel across or
// wider than 32769 it also keeps the +1 neighbour inside). Returns the first
// step whose sample is strictly stronger than `limit` (a NaN never is), or 0;
// *lastSample, when given, receives the last sample taken.
inline int32_t firstStrongerStep(const float *edgeMap, int32_t h, int32_t w, int32_t y, int32_t x, float sn,
                                 float cs, float limit, int32_t radius, float *lastSample = nullptr) {
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const float step = static_cast<float>(d);
        const float px = static_cast<float>(x) + cs * step;
        const float py = static_cast<float>(y) + sn * step;
        const float sample = interpolateBilinear(edgeMap, h, w, px, py);
        if (lastSample) *lastSample = sample;
        if (sample > limit) return static_cast<int32_t>(d);
    }
    return 0;
}

// suppressNonMaxima of thin.h. Each pixel: copy; a zero (of either sign) is
// done; limit = v * m; sine and cosine once; a stronger sample clears it to +0.
// A NaN limit could never be exceeded, and a pixel whose orientation is not
// finite (its samples would lie nowhere) keeps its value.
inline void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                              int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    for (int64_t x = columns.begin; x < columns.end; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const int64_t i = y + static_cast<int64_t>(h) * x;
            const float v = edgeMap[i];
            thinnedMap[i] = v;
            if (v == 0.0f) continue;
            const float limit = v * multiplier;
            const float theta = orientationMap[i];
            if (!std::isfinite(theta) || std::isnan(limit)) continue;
            float sn, cs;
            orientationSinCos(theta, &sn, &cs);
            if (firstStrongerStep(edgeMap, h, w, y, static_cast<int32_t>(x), sn, cs, limit, radius) != 0)
                thinnedMap[i] = 0.0f;
        }
}

// thinEdges of thin.h with the plain suppression. The kernel's margin pass,
// attenuateMargin, is already the plain loop and serves here as it is.
inline void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
                      float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    parallel::runTeam(team, [&](int thread, int threads) {
        suppressNonMaxima(edgeMap, orientationMap, radius, multiplier, h, w, parallel::ceilBlock(w, threads, thread),
                          thinnedMap);
    });
    attenuateMargin(thinnedMap, h, w, marginWidth);
}

}  // namespace crest::reference
