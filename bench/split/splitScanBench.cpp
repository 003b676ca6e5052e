// splitScan: the plain presorted sweep and the optimized kernel side by side
// over whole nodes. Every iteration runs both on the same node with the same
// team, each timed on its own; the reported time is the optimized one.
// Counters per row:
//   ns_per_sample_feature        optimized: nanoseconds per sample and feature
//   plain_ns_per_sample_feature  the plain sweep, measured in the same iterations
//   ratio                        plain time / optimized time
//   identical                    1 when every optimized output had the plain output's bits
// Arguments: M samples, N features, K classes, team size. The rows named
// after a kernel version force that version; the others take the fastest one
// this processor runs (the rows named splitScan/). Run with repetitions and
// look at the medians, e.g.
//   benchmarks --benchmark_filter='^splitScan(Scalar|Avx2|Avx512)?/' --benchmark_repetitions=9 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "split/nodeTotals.h"
#include "split/sweep.h"
#include "tests/kernel/split/splitSweepPlain.h"

namespace {

struct Node {
    int32_t M, N, K;
    std::vector<float> X, weights;
    std::vector<uint32_t> labels, sortedOrder;
    std::vector<double> classWeights;
};

Node randomNode(int32_t M, int32_t N, int32_t K) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    Node n{M, N, K, {}, {}, {}, {}, {}};
    for (int32_t i = 0; i < M; ++i) {
        n.labels.push_back(1 + rng() % K);
        n.weights.push_back(u(rng));
    }
    for (int32_t k = 0; k < K; ++k) n.classWeights.push_back(0.5 + u(rng));
    n.X.resize(static_cast<size_t>(M) * N);
    n.sortedOrder.resize(n.X.size());
    for (int32_t j = 0; j < N; ++j) {
        float *x = &n.X[static_cast<size_t>(j) * M];
        uint32_t *order = &n.sortedOrder[static_cast<size_t>(j) * M];
        for (int32_t i = 0; i < M; ++i) x[i] = u(rng);
        std::iota(order, order + M, 0u);
        std::sort(order, order + M, [x](uint32_t a, uint32_t b) { return x[a] < x[b]; });
    }
    return n;
}

struct Rows {
    std::vector<double> impurity, threshold, gain;
    explicit Rows(int32_t N) : impurity(N), threshold(N), gain(N) {}
    split::SplitRows view() { return {impurity.data(), threshold.data(), gain.data()}; }
    bool sameBits(const Rows &o) const {
        const size_t bytes = impurity.size() * sizeof(double);
        return std::memcmp(impurity.data(), o.impurity.data(), bytes) == 0 &&
               std::memcmp(threshold.data(), o.threshold.data(), bytes) == 0 &&
               std::memcmp(gain.data(), o.gain.data(), bytes) == 0;
    }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void sweep(benchmark::State &state, split::SweepKernel kernel, bool fastest) {
    if (fastest) kernel = split::fastestSweepKernel();
    if (!split::sweepKernelAvailable(kernel)) {
        state.SkipWithError("kernel version not available on this processor");
        return;
    }
    const Node n = randomNode(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                              static_cast<int32_t>(state.range(2)));
    const int team = static_cast<int>(state.range(3));
    std::vector<double> classMass(n.K, 0.0);
    const split::ClassMassPass pass =
        split::accumulateClassMass(n.labels.data(), n.weights.data(), n.M, n.K, classMass.data());
    const split::NodeTotals node = split::nodeTotals(classMass.data(), n.classWeights.data(), n.K, pass);
    const split::SweepInput in{n.X.data(), n.labels.data(), n.weights.data(), n.sortedOrder.data(),
                               n.classWeights.data(), n.M, n.N, n.K};

    std::vector<double> plainScratch = sweepPlain::scratchFor(n.K, team);
    std::vector<split::SampleRecord> records(n.M);
    std::vector<double> tables(split::sweepTableDoubles(n.K, team));
    Rows plain(n.N), optimized(n.N);
    auto runPlain = [&] {
        benchmark::DoNotOptimize(sweepPlain::scanSortedFeatures(in, node, plain.view(), team, plainScratch.data()));
    };
    auto runOptimized = [&] {
        benchmark::DoNotOptimize(
            split::scanSortedFeaturesWith(kernel, in, node, optimized.view(), team, {records.data(), tables.data()}));
    };

    double plainSeconds = 0, optimizedSeconds = 0;
    bool identical = true;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        runPlain();
        plainSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        runOptimized();
        const double seconds = secondsSince(start);
        optimizedSeconds += seconds;
        state.SetIterationTime(seconds);
        identical = identical && optimized.sameBits(plain);
        benchmark::ClobberMemory();
    }
    const double elements = static_cast<double>(n.M) * n.N * static_cast<double>(state.iterations());
    state.counters["ns_per_sample_feature"] = optimizedSeconds / elements * 1e9;
    state.counters["plain_ns_per_sample_feature"] = plainSeconds / elements * 1e9;
    state.counters["ratio"] = plainSeconds / optimizedSeconds;
    state.counters["identical"] = identical ? 1 : 0;
    state.SetLabel(identical ? "bitwise identical" : "OUTPUT DIFFERS FROM PLAIN");
}

void splitScan(benchmark::State &state) { sweep(state, split::SweepKernel::scalar, true); }
void splitScanScalar(benchmark::State &state) { sweep(state, split::SweepKernel::scalar, false); }
void splitScanAvx2(benchmark::State &state) { sweep(state, split::SweepKernel::avx2, false); }
void splitScanAvx512(benchmark::State &state) { sweep(state, split::SweepKernel::avx512, false); }

}  // namespace

BENCHMARK(splitScan)
    ->ArgNames({"M", "N", "K", "team"})
    ->Args({10000, 100, 2, 1})
    ->Args({10000, 100, 2, 2})
    ->Args({20000, 50, 10, 1})
    ->Args({20000, 50, 10, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Each version on one thread.
#define SPLIT_SCAN_VERSION(name)                                                                                       \
    BENCHMARK(name)                                                                                                    \
        ->ArgNames({"M", "N", "K", "team"})                                                                            \
        ->Args({10000, 100, 2, 1})                                                                                     \
        ->Args({20000, 50, 10, 1})                                                                                     \
        ->UseManualTime()                                                                                              \
        ->Unit(benchmark::kMillisecond)
SPLIT_SCAN_VERSION(splitScanScalar);
SPLIT_SCAN_VERSION(splitScanAvx2);
SPLIT_SCAN_VERSION(splitScanAvx512);
