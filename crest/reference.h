// The thinning written plainly, one pixel and one step at a time, in the order
// of operations that fixes every bit of the result. This is "the plain loop":
// the differential tests hold every kernel version to it, the benchmark times
// it beside the kernel, and the platform checks replay single pixels with it.
// suppress.cpp and lineSteps.h do the same operations for many pixels at once.
//
// It is written apart from the shipped kernels and calls none of them (not
// their sampling, sine and cosine, margin pass or division of the columns),
// so that a fault in any of those shows as a difference. Every call below is
// to a function of this namespace, named as such.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/parallel.h"

namespace crest::reference {

// The clamp ceiling of a coordinate is size - 1.001, worked out in double: a
// thousandth inside the last pixel, so that the pixel after the truncated
// coordinate exists.
inline constexpr double ceilingBelowSize = 1.001;

// A coordinate clamped into the map: below 0 (or NaN) to 0; above the ceiling
// to the ceiling rounded to single. A map one pixel across has only 0.
inline float clampedCoordinate(float p, int32_t size) {
    if (size <= 1 || std::isnan(p) || p < 0.0f) return 0.0f;
    const double ceiling = static_cast<double>(size) - ceilingBelowSize;
    return static_cast<double>(p) > ceiling ? static_cast<float>(ceiling) : p;
}

// The bilinear sample of the edge map at column px, row py, after clamping:
// ((1 - fx) p00)(1 - fy) + (fx p01)(1 - fy) + ((1 - fx) p10) fy + (fx p11) fy,
// all in single precision, added left to right. The pixel after the truncated
// coordinate is taken inside the map, which only maps one pixel across or
// wider than 32769 need (there the ceiling rounds up to the last pixel).
inline float bilinearSample(const float *edgeMap, int32_t h, int32_t w, float px, float py) {
    const float cx = clampedCoordinate(px, w);
    const float cy = clampedCoordinate(py, h);
    const int32_t left = static_cast<int32_t>(cx);
    const int32_t top = static_cast<int32_t>(cy);
    const int32_t right = left + 1 < w ? left + 1 : left;
    const int32_t bottom = top + 1 < h ? top + 1 : top;
    auto at = [&](int32_t row, int32_t column) { return edgeMap[row + static_cast<int64_t>(h) * column]; };
    const float fx = cx - static_cast<float>(left);
    const float fy = cy - static_cast<float>(top);
    const float oneMinusFx = 1.0f - fx;
    const float oneMinusFy = 1.0f - fy;
    return (oneMinusFx * at(top, left)) * oneMinusFy + (fx * at(top, right)) * oneMinusFy +
           (oneMinusFx * at(bottom, left)) * fy + (fx * at(bottom, right)) * fy;
}

// Sine and cosine of an orientation as the build at hand takes them: sinf and
// cosf, or, with CREST_DOUBLE_SINE_COSINE (macOS and its stand-ins), in double
// precision on the widened angle, each rounded to single.
inline void sineAndCosine(float theta, float *sn, float *cs) {
#ifdef CREST_DOUBLE_SINE_COSINE
    *sn = static_cast<float>(std::sin(static_cast<double>(theta)));
    *cs = static_cast<float>(std::cos(static_cast<double>(theta)));
#else
    *sn = sinf(theta);
    *cs = cosf(theta);
#endif
}

// The search of the pixel at row y, column x along its line: steps -r ... -1,
// then 1 ... r, each a bilinear sample at (x + cs*d, y + sn*d) in single
// precision. Returns the first step whose sample is strictly stronger than
// `limit` (a NaN never is), or 0; *lastSample, when given, receives the last
// sample taken.
inline int32_t firstStrongerStep(const float *edgeMap, int32_t h, int32_t w, int32_t y, int32_t x, float sn,
                                 float cs, float limit, int32_t radius, float *lastSample = nullptr) {
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const float step = static_cast<float>(d);
        const float px = static_cast<float>(x) + cs * step;
        const float py = static_cast<float>(y) + sn * step;
        const float sample = reference::bilinearSample(edgeMap, h, w, px, py);
        if (lastSample) *lastSample = sample;
        if (sample > limit) return static_cast<int32_t>(d);
    }
    return 0;
}

// One pixel of the suppression: copy; a zero (of either sign) is done; limit =
// v * m; sine and cosine once; a stronger sample clears it to +0. A NaN limit
// could never be exceeded, and a pixel whose orientation is not finite (its
// samples would lie nowhere) keeps its value.
inline void suppressPixel(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                          int32_t h, int32_t w, int32_t y, int32_t x, float *thinnedMap) {
    const int64_t i = y + static_cast<int64_t>(h) * x;
    const float v = edgeMap[i];
    thinnedMap[i] = v;
    if (v == 0.0f) return;
    const float limit = v * multiplier;
    const float theta = orientationMap[i];
    if (!std::isfinite(theta) || std::isnan(limit)) return;
    float sn, cs;
    reference::sineAndCosine(theta, &sn, &cs);
    if (reference::firstStrongerStep(edgeMap, h, w, y, x, sn, cs, limit, radius) != 0) thinnedMap[i] = 0.0f;
}

// suppressNonMaxima of thin.h: every pixel of the columns, column by column.
inline void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                              int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    for (int64_t x = columns.begin; x < columns.end; ++x)
        for (int32_t y = 0; y < h; ++y)
            reference::suppressPixel(edgeMap, orientationMap, radius, multiplier, h, w, y,
                                     static_cast<int32_t>(x), thinnedMap);
}

// attenuateMargin of thin.h, pixel by pixel: b = min(marginWidth, w/2, h/2);
// a pixel k columns from the left or right border (k < b) is multiplied by
// k / b, then one k rows from the top or bottom border by k / b. No pixel is
// k < b from both the left and the right border, nor from both the top and
// the bottom, since b is at most half of each side. Pixels in no band are
// passed over.
inline void attenuateMargin(float *thinnedMap, int32_t h, int32_t w, int32_t marginWidth) {
    const int32_t b = std::min(marginWidth, std::min(w / 2, h / 2));
    if (b <= 0) return;
    auto factor = [b](int32_t k) { return static_cast<float>(k) / static_cast<float>(b); };
    for (int32_t x = 0; x < w; ++x) {
        const int32_t fromSide = std::min(x, w - 1 - x);
        for (int32_t y = 0; y < h; ++y) {
            if (fromSide >= b && y == b) y = h - b;  // from the top band on to the bottom one
            float &pixel = thinnedMap[y + static_cast<int64_t>(h) * x];
            const int32_t fromEnd = std::min(y, h - 1 - y);
            if (fromSide < b) pixel = pixel * factor(fromSide);
            if (fromEnd < b) pixel = pixel * factor(fromEnd);
        }
    }
}

// thinEdges of thin.h: the suppression of every column, on a team of `team`
// threads where the build has them (the benchmark times both on the same
// team; the result does not depend on it), then the margin pass.
inline void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
                      float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
#if defined(_OPENMP)
#pragma omp parallel for num_threads(team > 1 ? team : 1) schedule(static)
#endif
    for (int32_t x = 0; x < w; ++x)
        reference::suppressNonMaxima(edgeMap, orientationMap, radius, multiplier, h, w, parallel::Range{x, x + 1},
                                     thinnedMap);
    (void)team;
    reference::attenuateMargin(thinnedMap, h, w, marginWidth);
}

}  // namespace crest::reference
