// Records calls of the named modules on this build (Linux x86-64), as the
// reference for the builds for other platforms: platformReference FILE MODULE...
// Valid calls of many shapes and refused ones of every kind of message; each
// with its result here, and crestThin's with this build's sine and cosine of
// every orientation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

#include "crest/reference.h"
#include "crest/thin.h"
#include "host/loader.h"
#include "moduleInputs.h"
#include "recordedCall.h"
#include "tests/module/crestThinBadCalls.h"
#include "tests/support.h"

namespace {

using moduleInputs::Inputs;

struct Recorder {
    explicit Recorder(const char *path) : out(path, std::ios::binary) { recorded::writeHeader(out); }

    std::ofstream out;
    std::map<std::string, host::Module> modules;
    int count = 0;

    // Calls `module` with the inputs and keeps the call with its result.
    void add(const std::string &module, std::string label, int nlhs, int threadInput, Inputs inputs,
             Inputs sineCosine = {}) {
        if (modules.count(module) == 0) modules.emplace(module, host::modulePath(module));
        recorded::Call c{module, std::move(label), nlhs, threadInput, std::move(inputs), {}, std::move(sineCosine)};
        c.result = modules.at(module).call(nlhs, c.inputs);
        recorded::write(out, c);
        ++count;
    }
};

// Refused calls: the inputs that `base` makes, one change each.
void refused(Recorder &r, const char *module, const std::function<Inputs()> &base,
             std::initializer_list<std::pair<const char *, void (*)(Inputs &)>> calls) {
    for (const auto &[label, change] : calls) {
        Inputs in = base();
        change(in);
        r.add(module, std::string("refused: ") + label, 3, -1, std::move(in));
    }
}

// ---------------------------------------------------------------------------
// crestThin

// NaN and infinite orientations and edge values among ordinary ones (without
// the huge angles of EdgeKind::specials, whose sines MinGW's library gives
// less exactly than one unit in the last place).
support::EdgeMaps nonFinite() {
    support::EdgeMaps m = support::edgeMaps(30, 30, support::EdgeKind::continuous, 17, 3.2f);
    const float specials[] = {NAN, INFINITY, -INFINITY};
    for (size_t i = 0; i < m.edge.size(); i += 7) m.orientation[i] = specials[i % 3];
    for (size_t i = 3; i < m.edge.size(); i += 11) m.edge[i] = NAN;
    return m;
}

// Isolated pixels, each decided by the last bit of its sine or cosine: the
// orientation is one whose sinf/cosf differ from sine and cosine taken in
// double and rounded to single, and the pixel's value is the smaller of the
// two samples that the far step (d = 2) reads in the two ways, so that with
// radius 2 and a multiplier of 1 exactly one of the two ways finds a stronger
// sample.
support::EdgeMaps lastBitTies(int32_t islands, unsigned seed) {
    const int32_t spacing = 8;
    support::EdgeMaps m = support::blankEdgeMaps(spacing * islands, spacing * islands);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> angle(2.30f, 2.42f), level(0.5f, 1.0f);
    for (int32_t island = 0; island < islands * islands; ++island) {
        const int32_t y = 3 + spacing * (island % islands), x = 4 + spacing * (island / islands);
        const size_t at = m.at(y, x);
        for (int attempt = 0; attempt < 10000; ++attempt) {
            const float theta = angle(rng);
            const float snFloat = sinf(theta), csFloat = cosf(theta);
            const float snDouble = static_cast<float>(std::sin(static_cast<double>(theta)));
            const float csDouble = static_cast<float>(std::cos(static_cast<double>(theta)));
            if (snFloat == snDouble && csFloat == csDouble) continue;
            // The far sample falls in the 2 x 2 block up and to the left of
            // (y + 1, x - 1), which holds one level; the rest of the island is 0.
            const float q = level(rng);
            for (int32_t dx = -2; dx <= 2; ++dx)
                for (int32_t dy = -2; dy <= 2; ++dy) m.edge[m.at(y + dy, x + dx)] = (dx < 0 && dy > 0) ? q : 0.0f;
            m.orientation[at] = theta;
            // The far sample of each way: the last one of a search that finds none.
            auto search = [&](float sine, float cosine, float limit, float *last) {
                return crest::reference::firstStrongerStep(m.edge.data(), m.h, m.w, y, x, sine, cosine, limit, 2,
                                                           last);
            };
            const float inf = std::numeric_limits<float>::infinity();
            float sample, sampleDouble;
            m.edge[at] = inf;
            search(snFloat, csFloat, inf, &sample);
            search(snDouble, csDouble, inf, &sampleDouble);
            m.edge[at] = std::min(sample, sampleDouble);
            const bool suppressed = search(snFloat, csFloat, m.edge[at], nullptr) != 0;
            if (suppressed != (search(snDouble, csDouble, m.edge[at], nullptr) != 0)) break;
            m.edge[at] = 0.0f;
        }
    }
    return m;
}

void thin(Recorder &r, const char *label, const support::EdgeMaps &m, double radius, double margin,
          double multiplier) {
    Inputs sineCosine;
    for (int k = 0; k < 2; ++k)
        sineCosine.push_back(host::makeArray(mxSINGLE_CLASS, {static_cast<size_t>(m.h), static_cast<size_t>(m.w)}));
    float *sine = static_cast<float *>(mxGetData(sineCosine[0].get()));
    float *cosine = static_cast<float *>(mxGetData(sineCosine[1].get()));
    for (size_t i = 0; i < m.orientation.size(); ++i) crest::orientationSinCos(m.orientation[i], &sine[i], &cosine[i]);
    r.add("crestThin", label, 1, 5, moduleInputs::crestThin(m, radius, margin, multiplier, 2), std::move(sineCosine));
}

void crestThinCalls(Recorder &r) {
    using support::EdgeKind;
    using support::edgeMaps;
    thin(r, "random 67x101", edgeMaps(67, 101, EdgeKind::continuous, 5, 3.2f), 2, 3, 1.01);
    thin(r, "random sparse 128x96", edgeMaps(128, 96, EdgeKind::sparse, 6, 3.2f), 1, 5, 1.0);
    thin(r, "ridges 160x120 r1", support::ridgeMaps(160, 120), 1, 5, 1.0);
    thin(r, "ridges 160x120 r3 m0.98", support::ridgeMaps(160, 120), 3, 4, 0.98);
    thin(r, "plateaus 96x96", support::plateauMaps(96, 96, false, 3), 2, 2, 1.0);
    thin(r, "plateaus at axis angles 64x64", support::plateauMaps(64, 64, true, 4), 2, 2, 1.0);
    thin(r, "ties on the last bit of sine or cosine 64x64", lastBitTies(8, 13), 2, 0, 1.0);
    thin(r, "wide angles 48x80", edgeMaps(48, 80, EdgeKind::continuous, 8, 200.0f), 2, 2, 1.0);
    thin(r, "non-finite values 30x30", nonFinite(), 2, 2, 1.0);
    thin(r, "one row 1x50", edgeMaps(1, 50, EdgeKind::continuous, 9, 3.2f), 2, 3, 1.0);
    thin(r, "one column 50x1", edgeMaps(50, 1, EdgeKind::continuous, 10, 3.2f), 2, 3, 1.0);
    thin(r, "empty 0x7", support::blankEdgeMaps(0, 7), 1, 1, 1.0);
    thin(r, "margin over half 10x30", edgeMaps(10, 30, EdgeKind::continuous, 11, 3.2f), 1, 100, 1.0);
    thin(r, "radius 0 copy 20x20", edgeMaps(20, 20, EdgeKind::continuous, 12, 3.2f), 0, 0, 1.0);
    thin(r, "radius beyond the map 24x20", edgeMaps(24, 20, EdgeKind::ties, 13), 300, 2, 1.0);
    for (const auto &c : crestThinBadCalls::cases)
        r.add("crestThin", std::string("refused: ") + c.name, c.nlhs, -1, crestThinBadCalls::inputs(c));
}

// ---------------------------------------------------------------------------
// The split searches

void splitScanCalls(Recorder &r) {
    using R = support::SweepRecipe;
    unsigned seed = 71;
    auto node = [&](const char *name, std::initializer_list<bool R::*> troubles, int32_t M, int32_t N, int32_t K) {
        R recipe{name};
        for (bool R::*trouble : troubles) recipe.*trouble = true;
        r.add("splitScan",
              std::string(name) + " " + std::to_string(M) + "x" + std::to_string(N) + " K" + std::to_string(K), 3, -1,
              moduleInputs::splitScan(support::sweepNode(recipe, M, N, K, seed++)));
    };
    node("plain", {}, 200, 9, 3);
    node("zero weights at both ends, odd weights and values",
         {&R::zeroWeights, &R::weightlessEdges, &R::oddWeights, &R::oddValues}, 150, 7, 4);
    node("a NaN weight", {&R::oneNaNWeight}, 90, 5, 2);
    node("class runs", {&R::classRuns}, 100, 5, 6);
    node("scrambled orders", {&R::scrambled}, 80, 6, 3);
    node("weightless node", {&R::allWeightless}, 40, 3, 2);
    node("continuous, wide", {&R::continuous}, 2000, 16, 5);
    node("many classes", {}, 500, 6, 40);
    node("one sample", {}, 1, 4, 3);
    node("no features", {}, 30, 0, 3);

    // One refused call for each kind of message; the last is found by the
    // sweep as it reads the column.
    refused(r, "splitScan", [] { return moduleInputs::splitScan(support::sweepNode({"plain"}, 40, 3, 3, 5)); }, {
        {"six inputs", [](Inputs &in) { in.resize(6); }},
        {"three labels", [](Inputs &in) { in[1] = host::makeMatrix<uint32_t>(3, 1, {1, 1, 1}); }},
        {"K NaN", [](Inputs &in) { in[4] = host::makeScalar(NAN); }},
        {"label K + 1", [](Inputs &in) { static_cast<uint32_t *>(mxGetData(in[1].get()))[16] = 4; }},
        {"sortedOrder entry 40", [](Inputs &in) { static_cast<uint32_t *>(mxGetData(in[3].get()))[85] = 40; }},
        // Unsigned to the top: a label or class read as signed shows here.
        {"label 4294967295", [](Inputs &in) { static_cast<uint32_t *>(mxGetData(in[1].get()))[16] = 4294967295u; }},
        {"uint32 weights", [](Inputs &in) { in[2] = host::makeMatrix<uint32_t>(3, 1, {1, 1, 1}); }},
    });
}

void splitScanBinnedCalls(Recorder &r) {
    const int32_t threadInput = 9;
    r.add("splitScanBinned", "three columns", 3, threadInput,
          moduleInputs::splitScanBinned(support::threeColumnNode(), 2));
    // Random nodes (B, K, a run of rows, bins of B or above); those with bins
    // of B or above are refused, naming the lowest list position whatever the
    // team.
    std::mt19937 rng(2024);
    const support::BinnedShape shapes[] = {
        {2, 2, true, false},   {7, 3, false, false},  {16, 1, true, false},  {16, 5, false, false},
        {64, 4, false, false}, {256, 3, true, false}, {300, 2, false, false}, {5, 2, false, true},
        {33, 4, true, true},   {100, 3, false, true},
    };
    for (const support::BinnedShape &s : shapes)
        r.add("splitScanBinned",
              "random B" + std::to_string(s.B) + " K" + std::to_string(s.K) + (s.run ? ", a run of rows" : "") +
                  (s.faulty ? ", bins of B or above" : ""),
              3, threadInput, moduleInputs::splitScanBinned(support::randomBinnedNode(rng, s), 2));
    r.add("splitScanBinned", "uniform bins 3000x16 B64", 3, threadInput,
          moduleInputs::splitScanBinned(support::benchBinnedNode(3000, 16, 64, 4, false, false), 2));
    r.add("splitScanBinned", "skewed bins, shuffled list 2000x12 B256", 3, threadInput,
          moduleInputs::splitScanBinned(support::benchBinnedNode(2000, 12, 256, 3, true, true), 2));

    refused(r, "splitScanBinned", [] { return moduleInputs::splitScanBinned(support::threeColumnNode(), 2); }, {
        {"three weights", [](Inputs &in) { in[2] = host::makeMatrix<float>(1, 3, {1, 1, 1}); }},
        {"int32 sample -1", [](Inputs &in) { in[4] = host::makeMatrix<int32_t>(1, 3, {0, -1, 2}); }},
        {"feature beyond the columns", [](Inputs &in) { in[5] = host::makeMatrix<uint32_t>(1, 2, {0, 3}); }},
        {"listed label above K", [](Inputs &in) { in[1] = host::makeMatrix<uint32_t>(1, 4, {1, 3, 2, 2}); }},
        {"B 0", [](Inputs &in) { in[3] = host::makeScalar(0); }},
    });
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: platformReference FILE MODULE...\n");
        return 2;
    }
    const std::map<std::string, void (*)(Recorder &)> calls = {
        {"crestThin", crestThinCalls}, {"splitScan", splitScanCalls}, {"splitScanBinned", splitScanBinnedCalls}};
    try {
        Recorder r(argv[1]);
        for (int i = 2; i < argc; ++i) {
            if (calls.count(argv[i]) == 0) throw std::runtime_error(std::string("no calls for ") + argv[i]);
            calls.at(argv[i])(r);
        }
        r.out.close();
        if (r.out.fail()) throw std::runtime_error(std::string("cannot write ") + argv[1]);
        std::printf("recorded %d calls in %s\n", r.count, argv[1]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "platformReference: %s\n", e.what());
        return 1;
    }
    return 0;
}
