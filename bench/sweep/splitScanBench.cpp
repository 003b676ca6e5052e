// splitScan: the reference sweep (sweep/reference.h) and the fast sweep
// side by side over whole nodes. Every iteration runs both on the same node
// with the same team, each timed on its own; the reported time is the fast
// one. Counters per row:
//   ns_per_sample_feature            fast: nanoseconds per sample and feature
//   reference_ns_per_sample_feature  the reference, measured in the same iterations
//   ratio                            reference time / fast time
//   identical                        1 when every fast output had the reference's bits
// Arguments: M samples, N features, K classes, team size. The rows named
// after a version force that version (Scalar: the portable one), and
// PerPosition or Screened its column method; the others take the fastest
// version this processor runs and the method for the column length
// (splitScan/ and splitScanSmall/). Run with repetitions and look at the
// medians, e.g.
//   benchmarks --benchmark_filter='^splitScan(Scalar|Sse2|Avx2|Small)?/' --benchmark_repetitions=9 --benchmark_report_aggregates_only
// splitScanRowMajor/ rows put the fastest version's sweep of a row-major
// sortedOrder (reported) beside its sweep of the same node column-major (in
// the reference's place): `ratio` is then the column-major time over the
// row-major one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "common/parallel.h"
#include "sweep/sweep.h"
#include "sweep/reference.h"
#include "bench/sideBySide.h"
#include "tests/support.h"

namespace {

// The impurity, threshold and gain rows side by side.
struct Rows {
    std::vector<double> all;
    explicit Rows(int32_t N) : all(3 * static_cast<size_t>(N)) {}
    split::SplitRows view() {
        const size_t N = all.size() / 3;
        return {all.data(), all.data() + N, all.data() + 2 * N};
    }
};

void sweep(benchmark::State &state, cpu::Isa version, bool fastest,
           split::ColumnMethod method = split::ColumnMethod::byLength) {
    if (fastest) version = cpu::fastest(split::sweepVersions);
    if (!cpu::runs(version)) {
        state.SkipWithError("version not available on this processor");
        return;
    }
    support::SweepRecipe continuous{"continuous"};
    continuous.continuous = true;
    const support::SweepNode n = support::sweepNode(continuous, static_cast<int32_t>(state.range(0)),
                                                    static_cast<int32_t>(state.range(1)),
                                                    static_cast<int32_t>(state.range(2)), 42);
    const int team = static_cast<int>(state.range(3));
    const split::SweepInput in{n.X.data(), n.labels.data(), n.weights.data(), n.sortedOrder.data(),
                               n.classWeights.data(), n.M, n.N, n.K,
                               split::Steps::columnMajor(n.M), split::Steps::columnMajor(n.M)};
    std::vector<double> classMass(n.K, 0.0);
    split::NodeTotals node{};
    split::nodeTotals(in, classMass.data(), node);

    split::SweepScratch scratch(n.M, n.K, team);
    Rows reference(n.N), fast(n.N);
    auto runReference = [&] {
        parallel::runTeam(team, [&](int thread, int threads) {
            const parallel::Range block = parallel::staticBlock(n.N, threads, thread);
            split::referenceSweep(in, node, block.begin, block.end, reference.view());
        });
    };
    auto runFast = [&] {
        benchmark::DoNotOptimize(split::scanSortedFeaturesWith(version, method, in, node, fast.view(), team, scratch));
    };

    double referenceSeconds = 0, fastSeconds = 0;
    bool identical = true;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        runReference();
        referenceSeconds += sideBySide::secondsSince(start);
        start = std::chrono::steady_clock::now();
        runFast();
        const double seconds = sideBySide::secondsSince(start);
        fastSeconds += seconds;
        state.SetIterationTime(seconds);
        identical = identical && support::sameBits(fast.all, reference.all);
        benchmark::ClobberMemory();
    }
    sideBySide::report(state, fastSeconds, referenceSeconds, static_cast<double>(n.M) * n.N, identical);
}

// The node's sortedOrder in rows of N entries.
std::vector<uint32_t> rowMajor(const support::SweepNode &n) {
    std::vector<uint32_t> rows(n.sortedOrder.size());
    for (size_t j = 0; j < static_cast<size_t>(n.N); ++j)
        for (size_t i = 0; i < static_cast<size_t>(n.M); ++i) rows[i * n.N + j] = n.sortedOrder[j * n.M + i];
    return rows;
}

void splitScanRowMajor(benchmark::State &state) {
    const cpu::Isa version = cpu::fastest(split::sweepVersions);
    support::SweepRecipe continuous{"continuous"};
    continuous.continuous = true;
    const support::SweepNode n = support::sweepNode(continuous,
                                                    static_cast<int32_t>(state.range(0)),
                                                    static_cast<int32_t>(state.range(1)),
                                                    static_cast<int32_t>(state.range(2)), 42);
    const int team = static_cast<int>(state.range(3));
    const split::SweepInput columns{n.X.data(), n.labels.data(), n.weights.data(), n.sortedOrder.data(),
                                    n.classWeights.data(), n.M, n.N, n.K,
                                    split::Steps::columnMajor(n.M), split::Steps::columnMajor(n.M)};
    const std::vector<uint32_t> order = rowMajor(n);
    split::SweepInput rows = columns;
    rows.sortedOrder = order.data();
    rows.orderSteps = {n.N, 1};
    std::vector<double> classMass(n.K, 0.0);
    split::NodeTotals node{};
    split::nodeTotals(columns, classMass.data(), node);
    // Each layout's scratch made once: the module makes its own per call.
    split::SweepScratch columnScratch(n.M, n.K, team);
    split::SweepScratch rowScratch(n.M, n.K, team, true);
    auto run = [&](const split::SweepInput &in, Rows &out) {
        split::SweepScratch &scratch = &in == &columns ? columnScratch : rowScratch;
        benchmark::DoNotOptimize(split::scanSortedFeaturesWith(version, split::ColumnMethod::byLength, in, node,
                                                               out.view(), team, scratch));
    };
    Rows columnMajorRows(n.N), rowMajorRows(n.N);
    double columnSeconds = 0, rowSeconds = 0;
    bool identical = true;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        run(columns, columnMajorRows);
        columnSeconds += sideBySide::secondsSince(start);
        start = std::chrono::steady_clock::now();
        run(rows, rowMajorRows);
        const double seconds = sideBySide::secondsSince(start);
        rowSeconds += seconds;
        state.SetIterationTime(seconds);
        identical = identical && support::sameBits(rowMajorRows.all, columnMajorRows.all);
        benchmark::ClobberMemory();
    }
    sideBySide::report(state, rowSeconds, columnSeconds, static_cast<double>(n.M) * n.N, identical);
}

void splitScan(benchmark::State &state) { sweep(state, cpu::Isa::portable, true); }
void splitScanScalar(benchmark::State &state) { sweep(state, cpu::Isa::portable, false); }
void splitScanSse2(benchmark::State &state) { sweep(state, cpu::Isa::sse2, false); }
void splitScanAvx2(benchmark::State &state) { sweep(state, cpu::Isa::avx2, false); }
void splitScanSse2PerPosition(benchmark::State &state) {
    sweep(state, cpu::Isa::sse2, false, split::ColumnMethod::perPosition);
}
void splitScanSse2Screened(benchmark::State &state) {
    sweep(state, cpu::Isa::sse2, false, split::ColumnMethod::screened);
}
void splitScanAvx2PerPosition(benchmark::State &state) {
    sweep(state, cpu::Isa::avx2, false, split::ColumnMethod::perPosition);
}
void splitScanAvx2Screened(benchmark::State &state) {
    sweep(state, cpu::Isa::avx2, false, split::ColumnMethod::screened);
}

}  // namespace

BENCHMARK(splitScan)
    ->ArgNames({"M", "N", "K", "team"})
    ->Apply(sideBySide::largeSweepNodes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(splitScanRowMajor)
    ->ArgNames({"M", "N", "K", "team"})
    ->Apply(sideBySide::largeSweepNodes)
    ->Args({10000, 100, 3, 1})
    ->Args({20000, 50, 3, 1})
    ->Args({10000, 100, 3, 2})
    ->Args({20000, 50, 3, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Small nodes on one thread, where a tree spends most of its calls: two and
// sixteen samples, and sixteen with many classes.
BENCHMARK(splitScan)
    ->Name("splitScanSmall")
    ->ArgNames({"M", "N", "K", "team"})
    ->Args({2, 4096, 3, 1})
    ->Args({16, 32, 3, 1})
    ->Args({16, 256, 1000, 1})
    ->Args({4096, 32, 3, 1})
    ->Args({4096, 32, 3, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Each version on one thread.
#define SPLIT_SCAN_VERSION(name)                                                                                       \
    BENCHMARK(name)                                                                                                    \
        ->ArgNames({"M", "N", "K", "team"})                                                                            \
        ->Args({10000, 100, 2, 1})                                                                                     \
        ->Args({20000, 50, 10, 1})                                                                                     \
        ->UseManualTime()                                                                                              \
        ->Unit(benchmark::kMillisecond)
SPLIT_SCAN_VERSION(splitScanScalar);
SPLIT_SCAN_VERSION(splitScanSse2);
SPLIT_SCAN_VERSION(splitScanAvx2);

// Each column method of the SSE2 and AVX2 versions, about the cut-over and
// on long columns, on one thread.
#define SPLIT_SCAN_METHOD(name)                                                                                        \
    BENCHMARK(name)                                                                                                    \
        ->ArgNames({"M", "N", "K", "team"})                                                                            \
        ->Args({4, 4096, 3, 1})                                                                                        \
        ->Args({8, 2048, 3, 1})                                                                                        \
        ->Args({12, 2048, 3, 1})                                                                                       \
        ->Args({16, 1024, 3, 1})                                                                                       \
        ->Args({32, 512, 3, 1})                                                                                        \
        ->Args({64, 256, 3, 1})                                                                                        \
        ->Args({128, 128, 3, 1})                                                                                       \
        ->Args({10000, 100, 2, 1})                                                                                     \
        ->Args({20000, 50, 10, 1})                                                                                     \
        ->UseManualTime()                                                                                              \
        ->Unit(benchmark::kMicrosecond)
SPLIT_SCAN_METHOD(splitScanSse2PerPosition);
SPLIT_SCAN_METHOD(splitScanSse2Screened);
SPLIT_SCAN_METHOD(splitScanAvx2PerPosition);
SPLIT_SCAN_METHOD(splitScanAvx2Screened);
