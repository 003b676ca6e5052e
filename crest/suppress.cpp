#include <cmath>

#include "gateway/parallel.h"
#include "interpolate.h"
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

// True when some sample on the line through (x, y), up to `radius` steps on
// either side, is stronger than `limit`. Steps run -r .. -1, then 1 .. r; the
// first stronger one decides.
static bool strongerAlongLine(const float *edgeMap, int32_t h, int32_t w, float x, float y, float cs,
                              float sn, int32_t radius, float limit) {
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const float step = static_cast<float>(d);
        const float px = x + cs * step;
        const float py = y + sn * step;
        if (interpolateBilinear(edgeMap, h, w, px, py) > limit) return true;
    }
    return false;
}

void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius,
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
            // A non-finite angle gives no position on the map: nothing
            // compares stronger, as with a NaN sample. A NaN limit likewise.
            if (!std::isfinite(theta) || std::isnan(limit)) continue;
            float sn, cs;
            orientationSinCos(theta, &sn, &cs);
            if (strongerAlongLine(edgeMap, h, w, static_cast<float>(x), static_cast<float>(y), cs, sn,
                                  radius, limit))
                thinnedMap[i] = 0.0f;
        }
    }
}

}  // namespace crest
