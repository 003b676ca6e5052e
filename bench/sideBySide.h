// What the kernel benchmarks of the split searches share: each iteration
// times the reference and the fast kernel on the same node, and every row
// reports the same counters.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace sideBySide {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Totals over all iterations; `sampleFeatures` is one iteration's work.
inline void report(benchmark::State &state, double fastSeconds, double referenceSeconds, double sampleFeatures,
                   bool identical) {
    const double elements = sampleFeatures * static_cast<double>(state.iterations());
    state.counters["ns_per_sample_feature"] = fastSeconds / elements * 1e9;
    state.counters["reference_ns_per_sample_feature"] = referenceSeconds / elements * 1e9;
    state.counters["ratio"] = referenceSeconds / fastSeconds;
    state.counters["identical"] = identical ? 1 : 0;
    state.SetLabel(identical ? "bitwise identical" : "OUTPUT DIFFERS FROM THE REFERENCE");
}

// The two large splitScan nodes that the kernel and per-call benchmarks both
// time, on one thread and on two: {M, N, K, threads}.
inline void largeSweepNodes(benchmark::internal::Benchmark *b) {
    b->Args({10000, 100, 2, 1})->Args({10000, 100, 2, 2})->Args({20000, 50, 10, 1})->Args({20000, 50, 10, 2});
}

}  // namespace sideBySide
