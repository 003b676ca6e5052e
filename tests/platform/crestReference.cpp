// Records crestThin calls on the Linux OpenMP module, as the reference for the
// Windows and serial builds: crestReference <file>.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "crest/reference.h"
#include "host/loader.h"
#include "referenceFile.h"
#include "tests/support.h"

namespace {

using reference::Call;

Call callOf(const char *name, const support::EdgeMaps &m, double radius, double margin, double multiplier) {
    Call c;
    c.name = name;
    c.h = m.h;
    c.w = m.w;
    c.radius = radius;
    c.marginWidth = margin;
    c.multiplier = multiplier;
    c.edgeMap = m.edge;
    c.orientationMap = m.orientation;
    return c;
}

// NaN and infinite orientations and edge values among ordinary ones (without
// the huge angles of EdgeKind::specials, whose sines MinGW's library gives
// less exactly than one unit in the last place).
Call nonFinite() {
    support::EdgeMaps m = support::edgeMaps(30, 30, support::EdgeKind::continuous, 17, 3.2f);
    const float specials[] = {NAN, INFINITY, -INFINITY};
    for (size_t i = 0; i < m.edge.size(); i += 7) m.orientation[i] = specials[i % 3];
    for (size_t i = 3; i < m.edge.size(); i += 11) m.edge[i] = NAN;
    return callOf("non-finite values 30x30", m, 2, 2, 1.0);
}

// Isolated pixels, each decided by the last bit of its sine or cosine: the
// orientation is one whose sinf/cosf differ from sine and cosine taken in
// double and rounded to single, and the pixel's value is the smaller of the
// two samples that the far step (d = 2) reads in the two ways, so that with
// a multiplier of 1 exactly one of the two ways finds a stronger sample.
Call lastBitTies(const char *name, int32_t islands, unsigned seed) {
    const int32_t spacing = 8;
    Call c = callOf(name, support::blankEdgeMaps(spacing * islands, spacing * islands), 2, 0, 1.0);
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
            // The far sample of each way: the last one of a search that finds none.
            auto search = [&](float sine, float cosine, float limit, float *last) {
                return crest::reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x, sine, cosine, limit, 2,
                                                           last);
            };
            const float inf = std::numeric_limits<float>::infinity();
            float sample, sampleDouble;
            c.edgeMap[at] = inf;
            search(sn, cs, inf, &sample);
            search(snDouble, csDouble, inf, &sampleDouble);
            c.edgeMap[at] = std::min(sample, sampleDouble);
            const bool suppressed = search(sn, cs, c.edgeMap[at], nullptr) != 0;
            if (suppressed != (search(snDouble, csDouble, c.edgeMap[at], nullptr) != 0)) break;
            c.edgeMap[at] = 0.0f;
        }
    }
    return c;
}

std::vector<Call> calls() {
    using support::EdgeKind;
    using support::edgeMaps;
    return {
        callOf("random 67x101", edgeMaps(67, 101, EdgeKind::continuous, 5, 3.2f), 2, 3, 1.01),
        callOf("random sparse 128x96", edgeMaps(128, 96, EdgeKind::sparse, 6, 3.2f), 1, 5, 1.0),
        callOf("ridges 160x120 r1", support::ridgeMaps(160, 120), 1, 5, 1.0),
        callOf("ridges 160x120 r3 m0.98", support::ridgeMaps(160, 120), 3, 4, 0.98),
        callOf("plateaus 96x96", support::plateauMaps(96, 96, false, 3), 2, 2, 1.0),
        callOf("plateaus at axis angles 64x64", support::plateauMaps(64, 64, true, 4), 2, 2, 1.0),
        lastBitTies("ties on the last bit of sine or cosine 64x64", 8, 13),
        callOf("wide angles 48x80", edgeMaps(48, 80, EdgeKind::continuous, 8, 200.0f), 2, 2, 1.0),
        nonFinite(),
        callOf("one row 1x50", edgeMaps(1, 50, EdgeKind::continuous, 9, 3.2f), 2, 3, 1.0),
        callOf("one column 50x1", edgeMaps(50, 1, EdgeKind::continuous, 10, 3.2f), 2, 3, 1.0),
        callOf("empty 0x7", support::blankEdgeMaps(0, 7), 1, 1, 1.0),
        callOf("margin over half 10x30", edgeMaps(10, 30, EdgeKind::continuous, 11, 3.2f), 1, 100, 1.0),
        callOf("radius 0 copy 20x20", edgeMaps(20, 20, EdgeKind::continuous, 12, 3.2f), 0, 0, 1.0),
        callOf("radius beyond the map 24x20", edgeMaps(24, 20, EdgeKind::ties, 13), 300, 2, 1.0),
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
