// crestThin: the plain loop (crest/reference.h) and the kernel side by side.
// Every iteration runs both on the same maps with the same team (the row's
// argument), each timed on its own; the reported time is the optimized one.
// The crestThin/ rows take the version that the dispatch picks (within the
// cap of CRESTSPLIT_ISA); crestThinPortable/, crestThinAvx2/,
// crestThinAvx512/ and crestThinNeon/ force one, and report an error where
// it does not run.
// Counters per row:
//   ns_px, Mpx_s                 optimized: nanoseconds per pixel, megapixels per second
//   plain_ns_px, plain_Mpx_s     the plain loop of crest/reference.h, in the same iterations
//   ratio                        plain time / optimized time
//   identical                    1 when every optimized output had the plain output's bits
// Run with repetitions and look at the medians, e.g.
//   benchmarks --benchmark_filter=crestThin --benchmark_repetitions=9 --benchmark_report_aggregates_only
// or, for the versions side by side,
//   benchmarks --benchmark_filter='crestThin[A-Z].*/dense1024_r1/team:1' --benchmark_repetitions=9 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crest/lineSampler.h"
#include "crest/reference.h"
#include "crest/thin.h"
#include "tests/support.h"

namespace {

struct Workload {
    int32_t h, w, radius, margin;
    float multiplier;
    double density;  // share of non-zero pixels
};

const support::EdgeMaps &mapsFor(const Workload &load) {
    static std::map<std::string, support::EdgeMaps> cache;
    const std::string key = std::to_string(load.h) + "x" + std::to_string(load.w) + "/" + std::to_string(load.density);
    auto found = cache.find(key);
    if (found == cache.end()) {
        const unsigned seed = 20240611u + static_cast<unsigned>(static_cast<size_t>(load.h) * load.w);
        found = cache.emplace(key, support::uniformEdgeMaps(load.h, load.w, load.density, seed)).first;
    }
    return found->second;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void thinWith(benchmark::State &state, Workload load, cpu::Isa version) {
    if (!cpu::runs(version)) {
        state.SkipWithError("version not available on this processor");
        return;
    }
    const int team = static_cast<int>(state.range(0));
    const support::EdgeMaps &maps = mapsFor(load);
    const size_t n = maps.edge.size();
    std::vector<float> plain(n), optimized(n);
    auto runPlain = [&] {
        crest::reference::thinEdges(maps.edge.data(), maps.orientation.data(), load.h, load.w, load.radius,
                                    load.multiplier, load.margin, team, plain.data());
    };
    auto runOptimized = [&] {
        crest::thinEdgesWith(version, maps.edge.data(), maps.orientation.data(), load.h, load.w, load.radius,
                             load.multiplier, load.margin, team, optimized.data());
    };
    runPlain();
    runOptimized();

    double plainSeconds = 0, optimizedSeconds = 0;
    bool identical = true;
    for (auto _ : state) {
        state.PauseTiming();  // the CPU column then counts the optimized run alone
        auto start = std::chrono::steady_clock::now();
        runPlain();
        plainSeconds += secondsSince(start);
        state.ResumeTiming();
        start = std::chrono::steady_clock::now();
        runOptimized();
        const double seconds = secondsSince(start);
        optimizedSeconds += seconds;
        state.SetIterationTime(seconds);
        identical = identical && std::memcmp(plain.data(), optimized.data(), n * sizeof(float)) == 0;
    }
    const double pixels = static_cast<double>(n) * static_cast<double>(state.iterations());
    state.counters["ns_px"] = optimizedSeconds / pixels * 1e9;
    state.counters["Mpx_s"] = pixels / optimizedSeconds / 1e6;
    state.counters["plain_ns_px"] = plainSeconds / pixels * 1e9;
    state.counters["plain_Mpx_s"] = pixels / plainSeconds / 1e6;
    state.counters["ratio"] = plainSeconds / optimizedSeconds;
    state.counters["identical"] = identical ? 1 : 0;
    state.SetLabel(identical ? "bitwise identical" : "OUTPUT DIFFERS FROM PLAIN");
}

void crestThin(benchmark::State &state, Workload load) {
    thinWith(state, load, cpu::fastest(crest::lineSamplerVersions));
}
#define CREST_THIN_VERSION(name, isa) \
    void name(benchmark::State &state, Workload load) { thinWith(state, load, isa); }
CREST_THIN_VERSION(crestThinPortable, cpu::Isa::portable)
CREST_THIN_VERSION(crestThinAvx2, cpu::Isa::avx2)
CREST_THIN_VERSION(crestThinAvx512, cpu::Isa::avx512)
CREST_THIN_VERSION(crestThinNeon, cpu::Isa::neon)

// Dense maps: every pixel non-zero. Sparse: 10 % non-zero.
const Workload dense2048r1{2048, 2048, 1, 5, 1.01f, 1.0};
const Workload dense2048r3{2048, 2048, 3, 5, 1.01f, 1.0};
const Workload sparse2048r1{2048, 2048, 1, 5, 1.01f, 0.1};
const Workload dense1024r1{1024, 1024, 1, 5, 1.01f, 1.0};
const Workload dense1024r3{1024, 1024, 3, 5, 1.01f, 1.0};
const Workload sparse1024r1{1024, 1024, 1, 5, 1.01f, 0.1};

}  // namespace

// One row per workload and team.
#define CREST_THIN_ROW(function, name, load)                                                                \
    BENCHMARK_CAPTURE(function, name, load)->ArgName("team")->Arg(1)->Arg(2)->UseManualTime()->Unit(        \
        benchmark::kMillisecond)

CREST_THIN_ROW(crestThin, dense2048_r1, dense2048r1);
CREST_THIN_ROW(crestThin, dense2048_r3, dense2048r3);
CREST_THIN_ROW(crestThin, sparse2048_r1, sparse2048r1);
CREST_THIN_ROW(crestThin, dense1024_r1, dense1024r1);
CREST_THIN_ROW(crestThin, sparse1024_r1, sparse1024r1);

// Every version on the 1024 x 1024 maps, side by side.
#define CREST_THIN_VERSION_ROWS(function)                   \
    CREST_THIN_ROW(function, dense1024_r1, dense1024r1);    \
    CREST_THIN_ROW(function, dense1024_r3, dense1024r3);    \
    CREST_THIN_ROW(function, sparse1024_r1, sparse1024r1)
CREST_THIN_VERSION_ROWS(crestThinPortable);
CREST_THIN_VERSION_ROWS(crestThinAvx2);
CREST_THIN_VERSION_ROWS(crestThinAvx512);
CREST_THIN_VERSION_ROWS(crestThinNeon);
