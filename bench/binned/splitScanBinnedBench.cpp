// splitScanBinned: the reference scan (binned/reference.h) and the
// optimized kernel side by side over whole nodes. Every iteration runs both on
// the same node with the same team, each timed on its own; the reported time
// is the optimized one.
// Counters per row:
//   ns_per_sample_feature        optimized: nanoseconds per listed sample and feature
//   reference_ns_per_sample_feature  the reference scan, measured in the same iterations
//   ratio                        reference time / optimized time
//   identical                    1 when every optimized output had the reference's bits
// Arguments: n = M samples (all listed unless the row says otherwise), F features,
// B bins, K classes, team size. Run with repetitions and look at the medians, e.g.
//   benchmarks --benchmark_filter=splitScanBinned --benchmark_repetitions=9 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "binned/reference.h"
#include "binned/binnedScan.h"
#include "bench/sideBySide.h"
#include "tests/support.h"

namespace {

enum class Bins { uniform, skewed };
enum class List { run, shuffled };

// `isa` is the version of the optimized scan.
void splitScanBinned(benchmark::State &state, Bins bins, List list, cpu::Isa isa) {
    if (!cpu::runs(isa)) {
        state.SkipWithError("this version does not run on this processor");
        return;
    }
    const support::BinnedNode d = support::benchBinnedNode(
        static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), static_cast<int32_t>(state.range(2)),
        static_cast<int32_t>(state.range(3)), bins == Bins::skewed, list == List::shuffled);
    const int team = static_cast<int>(state.range(4));
    split::BinnedJob job = support::binnedJob(d);
    if (split::binnedNodeTotals(job).kind != split::Fault::Kind::none) {
        state.SkipWithError("no memory for the class table");
        return;
    }
    support::BinnedRows reference(d.columns), optimized(d.columns);
    bool identical = true;
    auto runBoth = [&](double &referenceSeconds, double &optimizedSeconds) {
        auto start = std::chrono::steady_clock::now();
        const split::Fault referenceStatus = split::binnedReference::binnedScan(job, reference.view(), team);
        referenceSeconds = sideBySide::secondsSince(start);
        start = std::chrono::steady_clock::now();
        const split::Fault status = split::binnedScanWith(isa, split::binnedTablesFor(job), job, optimized.view(), team);
        optimizedSeconds = sideBySide::secondsSince(start);
        identical = identical && referenceStatus.kind == split::Fault::Kind::none &&
                    status.kind == split::Fault::Kind::none && reference.sameBits(optimized);
    };
    double referenceSeconds = 0, optimizedSeconds = 0;
    runBoth(referenceSeconds, optimizedSeconds);  // warm-up

    double referenceTotal = 0, optimizedTotal = 0;
    for (auto _ : state) {
        runBoth(referenceSeconds, optimizedSeconds);
        referenceTotal += referenceSeconds;
        optimizedTotal += optimizedSeconds;
        state.SetIterationTime(optimizedSeconds);
    }
    sideBySide::report(state, optimizedTotal, referenceTotal, static_cast<double>(d.M) * d.columns, identical);
}

// The rows of the performance table, once per version of the scan that runs
// here (the others named in the run's context): uniform bins, every row
// listed in order; the same nodes listed in random order (every bin gathered
// through the list), and with nine samples in ten in one bin. Named
// splitScanBinned/<rows>/<version>/...
const bool versionRows = [] {
    std::string notHere;
    for (cpu::Isa isa : split::binnedVersions) {
        if (!cpu::runs(isa)) {
            notHere += std::string(notHere.empty() ? "" : " ") + cpu::name(isa);
            continue;
        }
        const std::string version = cpu::name(isa);
        benchmark::RegisterBenchmark(("splitScanBinned/uniform/" + version).c_str(), splitScanBinned, Bins::uniform,
                                     List::run, isa)
            ->ArgNames({"n", "F", "B", "K", "team"})
            ->Args({50000, 100, 256, 2, 1})
            ->Args({50000, 100, 256, 2, 2})
            ->Args({50000, 100, 256, 10, 1})
            ->Args({50000, 100, 256, 10, 2})
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        for (auto [rows, bins, list] : {std::tuple{"shuffledList", Bins::uniform, List::shuffled},
                                        std::tuple{"skewedBins", Bins::skewed, List::run}})
            benchmark::RegisterBenchmark(("splitScanBinned/" + std::string(rows) + "/" + version).c_str(),
                                         splitScanBinned, bins, list, isa)
                ->ArgNames({"n", "F", "B", "K", "team"})
                ->Args({50000, 100, 256, 2, 1})
                ->Args({50000, 100, 256, 10, 1})
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
    }
    if (!notHere.empty()) benchmark::AddCustomContext("binned versions not run here (scan)", notHere);
    return true;
}();

}  // namespace

// Where a second thread pays: one node of n samples drawn from 65536 (sorted
// or shuffled list), 32 features, B = 256, K = 3, as splitScanBinned runs it
// (node totals, then the scan), on a team of one and of two threads in turn
// within every iteration (the order alternating), each call timed on its
// own. Outputs reused, or fresh zero-filled rows for every call. Counters,
// medians over the iterations in microseconds: one_us, two_us, and
// two_over_one (two_us / one_us; above 1: the second thread loses).
//   benchmarks --benchmark_filter=TeamCutOver --benchmark_repetitions=5
namespace {

void splitScanBinnedTeamCutOver(benchmark::State &state) {
    constexpr int32_t dataSamples = 65536, features = 32, bins = 256, classes = 3;
    static const support::BinnedNode data = support::benchBinnedNode(dataSamples, features, bins, classes, false, true);
    const int32_t n = static_cast<int32_t>(state.range(0));
    const bool sorted = state.range(1) == 0, fresh = state.range(2) != 0;
    support::BinnedNode d = data;
    d.nodeSamples.resize(static_cast<size_t>(n));  // the data's list is shuffled
    if (sorted) std::sort(d.nodeSamples.begin(), d.nodeSamples.end());
    support::BinnedRows reused(features);
    auto call = [&](int team) {
        const auto start = std::chrono::steady_clock::now();
        support::BinnedRows freshRows(fresh ? features : 0);
        support::BinnedRows &rows = fresh ? freshRows : reused;
        split::BinnedJob job = support::binnedJob(d);
        split::binnedNodeTotals(job);
        split::binnedScan(job, rows.view(), team);
        benchmark::DoNotOptimize(rows.gain.data());
        return sideBySide::secondsSince(start) * 1e6;
    };
    std::vector<double> one, two;
    bool oneFirst = true;
    for (auto _ : state) {
        if (oneFirst) one.push_back(call(1));
        two.push_back(call(2));
        if (!oneFirst) one.push_back(call(1));
        oneFirst = !oneFirst;
        state.SetIterationTime((one.back() + two.back()) * 1e-6);
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    state.SetLabel(cpu::name(cpu::fastest(split::binnedVersions)));  // under CRESTSPLIT_ISA
    state.counters["one_us"] = median(one);
    state.counters["two_us"] = median(two);
    state.counters["two_over_one"] = median(two) / median(one);
}

}  // namespace

BENCHMARK(splitScanBinnedTeamCutOver)
    ->ArgNames({"n", "shuffled", "fresh"})
    ->ArgsProduct({{16, 32, 48, 64, 96, 128, 192, 256, 384, 512, 768, 1024, 2048}, {0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
