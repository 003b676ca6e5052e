// Why crestThin's output on another build may differ from the reference
// build's, and only there: the builds take sine and cosine in different ways
// (glibc's sinf/cosf on x86-64 or on aarch64, MinGW's linked into the Windows
// module, or double precision rounded to single in the serial builds). A
// pixel may differ only where this build's sine or cosine of its orientation
// differs from the reference build's, by one unit in the last place at most,
// and where replaying the pixel's search with either pair flips its decision.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "crest/reference.h"
#include "crest/thin.h"
#include "recordedCall.h"
#include "tests/support.h"

namespace crestDifferences {

using support::bits;

// Distance in units in the last place, across zero too.
inline int64_t ulps(float a, float b) {
    auto ordered = [](float v) {
        const int64_t i = static_cast<int32_t>(bits(v));
        return i < 0 ? INT32_MIN - i : i;
    };
    const int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

struct Outcome {
    bool explained;
    std::string summary;
};

// `here` is this build's output for the recorded call c (inputs edgeMap,
// orientationMap, radius, marginWidth, multiplier, threadBound).
inline Outcome compare(const recorded::Call &c, const std::vector<float> &here) {
    const int32_t h = static_cast<int32_t>(mxGetM(c.inputs[0].get()));
    const int32_t w = static_cast<int32_t>(mxGetN(c.inputs[0].get()));
    const float *edgeMap = static_cast<const float *>(mxGetData(c.inputs[0].get()));
    const float *orientationMap = static_cast<const float *>(mxGetData(c.inputs[1].get()));
    const int32_t radius = static_cast<int32_t>(mxGetScalar(c.inputs[2].get()));
    const float multiplier = static_cast<float>(mxGetScalar(c.inputs[4].get()));
    const float *reference = static_cast<const float *>(mxGetData(c.result.outputs[0].get()));
    const float *sine = static_cast<const float *>(mxGetData(c.sineCosine[0].get()));
    const float *cosine = static_cast<const float *>(mxGetData(c.sineCosine[1].get()));
    if (here.size() != static_cast<size_t>(h) * static_cast<size_t>(w)) return {false, "output size"};

    // The pixel's search with a given sine and cosine.
    auto firstStrongerStep = [&](int32_t y, int32_t x, float sn, float cs) {
        const float v = edgeMap[static_cast<size_t>(y) + static_cast<size_t>(h) * x];
        return crest::reference::firstStrongerStep(edgeMap, h, w, y, x, sn, cs, v * multiplier, radius);
    };
    size_t read = 0, trigDiffers = 0, pixelsDiffer = 0, unexplained = 0, wideTrig = 0;
    std::string details;
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const size_t i = static_cast<size_t>(y) + static_cast<size_t>(h) * x;
            const float theta = orientationMap[i];
            const bool isRead = edgeMap[i] != 0.0f && radius >= 1 && std::isfinite(theta);
            float sn = 0, cs = 0;
            crest::orientationSinCos(theta, &sn, &cs);
            const bool trigDiffer = isRead && (bits(sn) != bits(sine[i]) || bits(cs) != bits(cosine[i]));
            read += isRead;
            trigDiffers += trigDiffer;
            if (trigDiffer && (ulps(sn, sine[i]) > 1 || ulps(cs, cosine[i]) > 1)) ++wideTrig;
            if (bits(here[i]) == bits(reference[i])) continue;

            ++pixelsDiffer;
            // Explained: exactly one way finds a stronger sample, and its output is +0.
            const int32_t referenceStep = trigDiffer ? firstStrongerStep(y, x, sine[i], cosine[i]) : 0;
            const int32_t hereStep = trigDiffer ? firstStrongerStep(y, x, sn, cs) : 0;
            if (trigDiffer && (referenceStep == 0) != (hereStep == 0) &&
                bits(referenceStep != 0 ? reference[i] : here[i]) == 0)
                continue;
            if (++unexplained <= 3)
                details += "\n         pixel (" + std::to_string(y) + ", " + std::to_string(x) + "): reference " +
                           std::to_string(reference[i]) + ", here " + std::to_string(here[i]) + "; steps " +
                           std::to_string(referenceStep) + " and " + std::to_string(hereStep);
        }
    char summary[300];
    std::snprintf(summary, sizeof summary,
                  "%zu orientations read; sine or cosine differs from the reference build's for %zu (%zu by more "
                  "than one unit in the last place); %zu output pixels differ, %zu not explained by that difference",
                  read, trigDiffers, wideTrig, pixelsDiffer, unexplained);
    return {unexplained == 0 && wideTrig == 0, summary + details};
}

}  // namespace crestDifferences
