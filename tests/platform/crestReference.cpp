// Records crestThin calls on the Linux OpenMP module, as the reference for the
// Windows and serial builds: crestReference <file>.
#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdio>
#include <random>

#include "crest/thin.h"
#include "host/loader.h"
#include "referenceFile.h"
#include "replay.h"

namespace {

using reference::Call;

Call blank(const char *name, int32_t h, int32_t w, double radius, double margin, double multiplier) {
    Call c;
    c.name = name;
    c.h = h;
    c.w = w;
    c.radius = radius;
    c.marginWidth = margin;
    c.multiplier = multiplier;
    c.edgeMap.assign(static_cast<size_t>(h) * w, 0.0f);
    c.orientationMap.assign(c.edgeMap.size(), 0.0f);
    return c;
}

// Uniform values with a third of the pixels zero and some negative.
Call randomMaps(const char *name, int32_t h, int32_t w, double radius, double margin, double multiplier,
                float angleSpan, unsigned seed) {
    Call c = blank(name, h, w, radius, margin, multiplier);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (size_t i = 0; i < c.edgeMap.size(); ++i) {
        const float p = u(rng);
        c.edgeMap[i] = p < 0.33f ? 0.0f : (p < 0.4f ? -u(rng) : u(rng));
        c.orientationMap[i] = (u(rng) * 2.0f - 1.0f) * angleSpan;
    }
    return c;
}

// Gradient magnitude and direction of smooth blobs and rings: the edge maps
// the module is made for, with ridges that many samples nearly tie.
Call ridges(const char *name, int32_t h, int32_t w, double radius, double margin, double multiplier) {
    Call c = blank(name, h, w, radius, margin, multiplier);
    auto image = [&](float y, float x) {
        const float dy = y - 0.4f * h, dx = x - 0.55f * w;
        const float ring = std::exp(-std::pow(std::sqrt(dx * dx + dy * dy) - 0.25f * w, 2.0f) / 18.0f);
        const float blob = std::exp(-((y - 0.7f * h) * (y - 0.7f * h) + (x - 0.2f * w) * (x - 0.2f * w)) / 60.0f);
        return ring + blob + (x > 0.8f * w ? 0.5f : 0.0f);
    };
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const float gx = image(y, x + 1.0f) - image(y, x - 1.0f);
            const float gy = image(y + 1.0f, x) - image(y - 1.0f, x);
            const float magnitude = std::sqrt(gx * gx + gy * gy);
            const size_t i = static_cast<size_t>(y) + static_cast<size_t>(h) * x;
            c.edgeMap[i] = magnitude < 0.02f ? 0.0f : magnitude;
            c.orientationMap[i] = std::atan2(gy, gx);
        }
    return c;
}

// Few distinct values: whole neighbourhoods equal the pixel, and whether a
// sample exceeds it rests on the rounding of the interpolation weights.
Call plateaus(const char *name, int32_t h, int32_t w, double multiplier, bool axisAngles, unsigned seed) {
    Call c = blank(name, h, w, 2, 2, multiplier);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> level(0, 4);
    std::uniform_real_distribution<float> angle(-3.1416f, 3.1416f);
    const float pi = 3.14159265f;
    const float axes[] = {0.0f, pi / 2, -pi / 2, pi, pi / 4, -3 * pi / 4, pi / 3, pi / 6};
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const size_t i = static_cast<size_t>(y) + static_cast<size_t>(h) * x;
            // 4 x 4 blocks of one level, some of them zero.
            std::mt19937 block(seed * 7919u + static_cast<unsigned>((y / 4) * 1000 + x / 4));
            c.edgeMap[i] = static_cast<float>(level(block)) * 0.25f;
            c.orientationMap[i] = axisAngles ? axes[rng() % 8] : angle(rng);
        }
    return c;
}

// NaN and infinite orientations and edge values among ordinary ones.
Call nonFinite() {
    Call c = randomMaps("non-finite values 30x30", 30, 30, 2, 2, 1.0, 3.2f, 17);
    const float specials[] = {NAN, INFINITY, -INFINITY};
    for (size_t i = 0; i < c.edgeMap.size(); i += 7) c.orientationMap[i] = specials[i % 3];
    for (size_t i = 3; i < c.edgeMap.size(); i += 11) c.edgeMap[i] = NAN;
    return c;
}

// Isolated pixels, each decided by the last bit of its sine or cosine: the
// orientation is one whose sinf/cosf differ from sine and cosine taken in
// double and rounded to single, and the pixel's value is the smaller of the
// two samples that the far step (d = 2) reads in the two ways, so that with
// a multiplier of 1 exactly one of the two ways finds a stronger sample.
Call lastBitTies(const char *name, int32_t islands, unsigned seed) {
    const int32_t spacing = 8;
    Call c = blank(name, spacing * islands, spacing * islands, 2, 0, 1.0);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> angle(2.30f, 2.42f), level(0.5f, 1.0f);
    for (int32_t island = 0; island < islands * islands; ++island) {
        const int32_t y = 3 + spacing * (island % islands), x = 4 + spacing * (island / islands);
        const size_t at = static_cast<size_t>(y) + static_cast<size_t>(c.h) * x;
        for (int attempt = 0; attempt < 10000; ++attempt) {
            const float theta = angle(rng);
            float sn, cs;
            crest::orientationSinCos(theta, &sn, &cs);
            const float snDouble = static_cast<float>(std::sin(static_cast<double>(theta)));
            const float csDouble = static_cast<float>(std::cos(static_cast<double>(theta)));
            if (sn == snDouble && cs == csDouble) continue;
            // The far sample falls in the 2 x 2 block up and to the left of
            // (y + 1, x - 1), which holds one level; the rest of the island is 0.
            const float q = level(rng);
            for (int32_t dx = -2; dx <= 2; ++dx)
                for (int32_t dy = -2; dy <= 2; ++dy)
                    c.edgeMap[at + dy + static_cast<int64_t>(c.h) * dx] = (dx < 0 && dy > 0) ? q : 0.0f;
            c.orientationMap[at] = theta;
            float sample, sampleDouble;
            c.edgeMap[at] = std::numeric_limits<float>::infinity();
            reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x, INFINITY, 2, sn, cs, &sample);
            reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x, INFINITY, 2, snDouble, csDouble,
                                         &sampleDouble);
            c.edgeMap[at] = std::min(sample, sampleDouble);
            const int32_t step = reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x, c.edgeMap[at], 2,
                                                              sn, cs, &sample);
            const int32_t stepDouble = reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x,
                                                                    c.edgeMap[at], 2, snDouble, csDouble, &sample);
            if ((step == 0) != (stepDouble == 0)) break;
            c.edgeMap[at] = 0.0f;
        }
    }
    return c;
}

std::vector<Call> calls() {
    return {
        randomMaps("random 67x101", 67, 101, 2, 3, 1.01, 3.2f, 5),
        randomMaps("random sparse 128x96", 128, 96, 1, 5, 1.0, 3.2f, 6),
        ridges("ridges 160x120 r1", 160, 120, 1, 5, 1.0),
        ridges("ridges 160x120 r3 m0.98", 160, 120, 3, 4, 0.98),
        plateaus("plateaus 96x96", 96, 96, 1.0, false, 3),
        plateaus("plateaus at axis angles 64x64", 64, 64, 1.0, true, 4),
        lastBitTies("ties on the last bit of sine or cosine 64x64", 8, 13),
        randomMaps("wide angles 48x80", 48, 80, 2, 2, 1.0, 200.0f, 8),
        nonFinite(),
        randomMaps("one row 1x50", 1, 50, 2, 3, 1.0, 3.2f, 9),
        randomMaps("one column 50x1", 50, 1, 2, 3, 1.0, 3.2f, 10),
        blank("empty 0x7", 0, 7, 1, 1, 1.0),
        randomMaps("margin over half 10x30", 10, 30, 1, 100, 1.0, 3.2f, 11),
        randomMaps("radius 0 copy 20x20", 20, 20, 0, 0, 1.0, 3.2f, 12),
    };
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: crestReference <file>\n");
        return 2;
    }
    host::Module module(host::modulePath("crestThin"));
    std::vector<Call> all = calls();
    for (Call &c : all) {
        host::Array edge = host::makeMatrix<float>(c.h, c.w, c.edgeMap);
        host::Array orientation = host::makeMatrix<float>(c.h, c.w, c.orientationMap);
        host::Array r = host::makeScalar(c.radius), b = host::makeScalar(c.marginWidth),
                    m = host::makeScalar(c.multiplier), t = host::makeScalar(2);
        host::CallResult result = module.call(1, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
        if (!result.ok()) {
            std::fprintf(stderr, "%s: %s\n", c.name.c_str(), result.errorMessage.c_str());
            return 1;
        }
        c.thinnedMap = host::values<float>(result.outputs[0].get());
        c.sine.resize(c.edgeMap.size());
        c.cosine.resize(c.edgeMap.size());
        for (size_t i = 0; i < c.edgeMap.size(); ++i)
            crest::orientationSinCos(c.orientationMap[i], &c.sine[i], &c.cosine[i]);
    }
    if (!reference::write(argv[1], all)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("recorded %zu crestThin calls in %s\n", all.size(), argv[1]);
    return 0;
}
