// The search of one pixel along its line, with a sine and cosine given from
// outside: which build's sine and cosine decides a pixel, and why.
#pragma once

#include <cstdint>

#include "crest/interpolate.h"

namespace reference {

// The first step whose sample is stronger than `limit`, or 0; `sample` gets
// the last sample taken.
inline int32_t firstStrongerStep(const float *edgeMap, int32_t h, int32_t w, int32_t y, int32_t x, float limit,
                                 int32_t radius, float sn, float cs, float *sample) {
    *sample = 0.0f;
    for (int32_t d = -radius; d <= radius; ++d) {
        if (d == 0) continue;
        const float px = static_cast<float>(x) + cs * static_cast<float>(d);
        const float py = static_cast<float>(y) + sn * static_cast<float>(d);
        *sample = crest::interpolateBilinear(edgeMap, h, w, px, py);
        if (*sample > limit) return d;
    }
    return 0;
}

}  // namespace reference
