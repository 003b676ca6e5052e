// The binned scan over whole nodes, in nanoseconds per sample-feature.
// Arguments: n = M samples (all listed), F features, B bins, K classes, team size.
#include <benchmark/benchmark.h>

#include <numeric>
#include <random>
#include <vector>

#include "split/binnedScan.h"

namespace {

struct BinnedNodeData {
    int32_t M, F, K, B;
    std::vector<uint8_t> binnedData;
    std::vector<uint32_t> labels, nodeSamples, candidateFeatures;
    std::vector<float> weights;
    std::vector<double> classWeights;
};

BinnedNodeData randomBinnedNode(int32_t M, int32_t F, int32_t B, int32_t K) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    BinnedNodeData d{M, F, K, B, {}, {}, {}, {}, {}, {}};
    d.binnedData.resize(static_cast<size_t>(M) * F);
    for (uint8_t &v : d.binnedData) v = static_cast<uint8_t>(rng() % B);
    for (int32_t i = 0; i < M; ++i) {
        d.labels.push_back(1 + rng() % K);
        d.weights.push_back(u(rng));
    }
    d.nodeSamples.resize(M);
    std::iota(d.nodeSamples.begin(), d.nodeSamples.end(), 0u);
    d.candidateFeatures.resize(F);
    std::iota(d.candidateFeatures.begin(), d.candidateFeatures.end(), 0u);
    for (int32_t k = 0; k < K; ++k) d.classWeights.push_back(0.5 + u(rng));
    return d;
}

void binnedScan(benchmark::State &state) {
    const BinnedNodeData d = randomBinnedNode(state.range(0), state.range(1), state.range(2), state.range(3));
    const int team = static_cast<int>(state.range(4));
    const split::BinnedInputs in{d.binnedData.data(), d.M, d.labels.data(), d.weights.data(),
                                 d.nodeSamples.data(), d.M, d.candidateFeatures.data(), d.F,
                                 d.classWeights.data(), d.K, d.B};
    std::vector<double> impurity(d.F), threshold(d.F), gain(d.F);
    split::BinnedNode node{};
    if (!split::binnedNodeTotals(in, node)) state.SkipWithError("no memory for the class table");
    for (auto _ : state) {
        const split::BinnedStatus status =
            split::binnedScan(in, node, {impurity.data(), threshold.data(), gain.data()}, team);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    // Inverted rate over wall time: seconds per unit, scaled to nanoseconds.
    state.counters["ns_per_sample_feature"] = benchmark::Counter(
        1e-9 * d.M * d.F, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(binnedScan)
    ->ArgNames({"n", "F", "B", "K", "team"})
    ->Args({50000, 100, 256, 2, 1})
    ->Args({50000, 100, 256, 2, 2})
    ->Args({50000, 100, 256, 10, 1})
    ->Args({50000, 100, 256, 10, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
