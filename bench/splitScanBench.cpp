// The presorted sweep over whole nodes, in nanoseconds per sample-feature.
// Arguments: M samples, N features, K classes, team size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <vector>

#include "split/nodeTotals.h"
#include "split/sweep.h"

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

void sortedSweep(benchmark::State &state) {
    const Node n = randomNode(state.range(0), state.range(1), state.range(2));
    const int team = static_cast<int>(state.range(3));
    std::vector<double> classMass(n.K, 0.0), scratch(split::scanScratchDoubles(n.K, team));
    std::vector<double> impurity(n.N), threshold(n.N), gain(n.N);
    const split::ClassMassPass pass = split::accumulateClassMass(n.labels.data(), n.weights.data(), n.M, n.K, classMass.data());
    const split::NodeTotals node = split::nodeTotals(classMass.data(), n.classWeights.data(), n.K, pass);
    const split::SweepInput in{n.X.data(), n.labels.data(), n.weights.data(), n.sortedOrder.data(),
                               n.classWeights.data(), n.M, n.N, n.K};
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const int64_t bad = split::scanSortedFeatures(in, node, {impurity.data(), threshold.data(), gain.data()}, team,
                                                      scratch.data());
        benchmark::DoNotOptimize(bad);
        benchmark::ClobberMemory();
    }
    // Wall time, since the workers' CPU time is not the calling thread's.
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    state.counters["ns_per_sample_feature"] =
        ns / (static_cast<double>(state.iterations()) * n.M * n.N);
}

}  // namespace

BENCHMARK(sortedSweep)
    ->ArgNames({"M", "N", "K", "team"})
    ->Args({10000, 100, 2, 1})
    ->Args({10000, 100, 2, 2})
    ->Args({20000, 50, 10, 1})
    ->Args({20000, 50, 10, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
