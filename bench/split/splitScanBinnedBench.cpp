// splitScanBinned: the plain binned scan and the optimized kernel side by side
// over whole nodes. Every iteration runs both on the same node with the same
// team, each timed on its own; the reported time is the optimized one.
// Counters per row:
//   ns_per_sample_feature        optimized: nanoseconds per listed sample and feature
//   plain_ns_per_sample_feature  the plain scan, measured in the same iterations
//   ratio                        plain time / optimized time
//   identical                    1 when every optimized output had the plain output's bits
// Arguments: n = M samples (all listed unless the row says otherwise), F features,
// B bins, K classes, team size. Run with repetitions and look at the medians, e.g.
//   benchmarks --benchmark_filter=splitScanBinned --benchmark_repetitions=9 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "split/binnedScan.h"
#include "tests/kernel/split/binnedPlain.h"

namespace {

enum class Bins { uniform, skewed };
enum class List { run, shuffled };

struct BinnedNodeData {
    int32_t M, F, K, B;
    std::vector<uint8_t> binnedData;
    std::vector<uint32_t> labels, nodeSamples, candidateFeatures;
    std::vector<float> weights;
    std::vector<double> classWeights;
};

// Uniform bins, or skewed ones: nine samples in ten in bin 0, as a sparse
// feature has them. A run lists rows 0..M-1; a shuffled list the same rows in
// random order.
BinnedNodeData randomBinnedNode(int32_t M, int32_t F, int32_t B, int32_t K, Bins bins, List list) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    BinnedNodeData d{M, F, K, B, {}, {}, {}, {}, {}, {}};
    d.binnedData.resize(static_cast<size_t>(M) * F);
    for (uint8_t &v : d.binnedData)
        v = bins == Bins::skewed && rng() % 10 != 0 ? 0 : static_cast<uint8_t>(rng() % B);
    for (int32_t i = 0; i < M; ++i) {
        d.labels.push_back(1 + rng() % K);
        d.weights.push_back(u(rng));
    }
    d.nodeSamples.resize(M);
    std::iota(d.nodeSamples.begin(), d.nodeSamples.end(), 0u);
    if (list == List::shuffled) std::shuffle(d.nodeSamples.begin(), d.nodeSamples.end(), rng);
    d.candidateFeatures.resize(F);
    std::iota(d.candidateFeatures.begin(), d.candidateFeatures.end(), 0u);
    for (int32_t k = 0; k < K; ++k) d.classWeights.push_back(0.5 + u(rng));
    return d;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Rows {
    std::vector<double> impurity, threshold, gain;
    explicit Rows(size_t F) : impurity(F), threshold(F), gain(F) {}
    split::SplitRows view() { return {impurity.data(), threshold.data(), gain.data()}; }
    bool sameBits(const Rows &o) const {
        const size_t bytes = impurity.size() * sizeof(double);
        return std::memcmp(impurity.data(), o.impurity.data(), bytes) == 0 &&
               std::memcmp(threshold.data(), o.threshold.data(), bytes) == 0 &&
               std::memcmp(gain.data(), o.gain.data(), bytes) == 0;
    }
};

// `kernel` is the build of the optimized scan; by default the fastest here.
void splitScanBinned(benchmark::State &state, Bins bins, List list, split::BinnedKernel kernel) {
    if (!split::binnedKernelAvailable(kernel)) {
        state.SkipWithError("this build does not run on this processor");
        return;
    }
    const BinnedNodeData d = randomBinnedNode(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                                              static_cast<int32_t>(state.range(2)), static_cast<int32_t>(state.range(3)),
                                              bins, list);
    const int team = static_cast<int>(state.range(4));
    const split::BinnedInputs in{d.binnedData.data(), d.M, d.labels.data(), d.weights.data(),
                                 d.nodeSamples.data(), d.M, d.candidateFeatures.data(), d.F,
                                 d.classWeights.data(), d.K, d.B};
    split::BinnedNode node{};
    if (split::binnedNodeTotals(in, node).kind != split::Fault::none) {
        state.SkipWithError("no memory for the class table");
        return;
    }
    Rows plain(d.F), optimized(d.F);
    bool identical = true;
    auto runBoth = [&](double &plainSeconds, double &optimizedSeconds) {
        auto start = std::chrono::steady_clock::now();
        const split::Fault plainStatus = binnedPlain::binnedScan(in, node, plain.view(), team);
        plainSeconds = secondsSince(start);
        start = std::chrono::steady_clock::now();
        const split::Fault status = split::binnedScanWith(kernel, in, node, optimized.view(), team);
        optimizedSeconds = secondsSince(start);
        identical = identical && plainStatus.kind == split::Fault::none &&
                    status.kind == split::Fault::none && plain.sameBits(optimized);
    };
    double plainSeconds = 0, optimizedSeconds = 0;
    runBoth(plainSeconds, optimizedSeconds);  // warm-up

    double plainTotal = 0, optimizedTotal = 0;
    for (auto _ : state) {
        runBoth(plainSeconds, optimizedSeconds);
        plainTotal += plainSeconds;
        optimizedTotal += optimizedSeconds;
        state.SetIterationTime(optimizedSeconds);
    }
    const double elements = static_cast<double>(d.M) * d.F * static_cast<double>(state.iterations());
    state.counters["ns_per_sample_feature"] = optimizedTotal / elements * 1e9;
    state.counters["plain_ns_per_sample_feature"] = plainTotal / elements * 1e9;
    state.counters["ratio"] = plainTotal / optimizedTotal;
    state.counters["identical"] = identical ? 1 : 0;
    state.SetLabel(identical ? "bitwise identical" : "OUTPUT DIFFERS FROM PLAIN");
}

const split::BinnedKernel fastest = split::fastestBinnedKernel();
const split::BinnedKernel portable = split::BinnedKernel::portable;

}  // namespace

// The rows of the performance table: uniform bins, every row listed in order.
BENCHMARK_CAPTURE(splitScanBinned, uniform, Bins::uniform, List::run, fastest)
    ->ArgNames({"n", "F", "B", "K", "team"})
    ->Args({50000, 100, 256, 2, 1})
    ->Args({50000, 100, 256, 2, 2})
    ->Args({50000, 100, 256, 10, 1})
    ->Args({50000, 100, 256, 10, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The same with the portable build, which processors without AVX-512 run.
BENCHMARK_CAPTURE(splitScanBinned, uniformPortable, Bins::uniform, List::run, portable)
    ->ArgNames({"n", "F", "B", "K", "team"})
    ->Args({50000, 100, 256, 2, 1})
    ->Args({50000, 100, 256, 10, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The same nodes listed in random order (every bin gathered through the list),
// and with nine samples in ten in one bin.
BENCHMARK_CAPTURE(splitScanBinned, shuffledList, Bins::uniform, List::shuffled, fastest)
    ->ArgNames({"n", "F", "B", "K", "team"})
    ->Args({50000, 100, 256, 2, 1})
    ->Args({50000, 100, 256, 10, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(splitScanBinned, skewedBins, Bins::skewed, List::run, fastest)
    ->ArgNames({"n", "F", "B", "K", "team"})
    ->Args({50000, 100, 256, 2, 1})
    ->Args({50000, 100, 256, 10, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
