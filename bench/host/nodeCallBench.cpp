// Per-call time of splitScanBinned and splitScan by node size, through the
// stand-in host's loader, so that each module's own entry is timed. Every
// iteration calls the built module, the same entry over the reference loop
// and an entry that only creates the three outputs (the floor of any call
// through this host), in turn, each timed on its own (moduleCalls.h).
// Nodes of n samples are drawn from one data set of 65536 samples and 32
// features (K = 3; splitScanBinned: B = 256), listed in ascending order or
// shuffled (splitScan: its rows in that order). `threads` is the runtime's
// maximum and splitScanBinned's threadLimit. The outputs are fresh host
// arrays each call. Counters, medians over the iterations in microseconds:
// module_us, reference_us, empty_us, above_empty_us (module - empty),
// ratio (reference / module), identical (1: the two gave the same bits).
// splitScanLargeNodeCall: splitScan on two large nodes of their own.
// splitScanBinnedNodeCall/<version>: a copy of the module capped at that
// version of the binned scan (moduleCalls::cappedModule).
//   benchmarks --benchmark_filter=NodeCall --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/sideBySide.h"
#include "binned/binnedScan.h"
#include "moduleCalls.h"

namespace {

constexpr int32_t dataSamples = 65536, dataFeatures = 32, classes = 3, bins = 256;

struct DataSet {
    std::vector<float> X;         // dataSamples x dataFeatures, column-major
    std::vector<uint8_t> binned;  // the same, in 256 bins
    std::vector<uint32_t> labels;
    std::vector<float> weights;
};

const DataSet &dataSet() {
    static const DataSet d = [] {
        DataSet d;
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        d.X.resize(static_cast<size_t>(dataSamples) * dataFeatures);
        for (float &x : d.X) x = unit(rng);
        for (float x : d.X) d.binned.push_back(static_cast<uint8_t>(x * bins));
        for (int32_t s = 0; s < dataSamples; ++s) {
            d.labels.push_back(1 + rng() % classes);
            d.weights.push_back(0.5f + unit(rng));
        }
        return d;
    }();
    return d;
}

// n distinct samples, ascending or shuffled.
std::vector<uint32_t> nodeSamples(int32_t n, bool shuffled) {
    std::vector<uint32_t> all(dataSamples);
    std::iota(all.begin(), all.end(), 0u);
    std::mt19937 rng(static_cast<unsigned>(n));
    std::shuffle(all.begin(), all.end(), rng);
    all.resize(static_cast<size_t>(n));
    if (!shuffled) std::sort(all.begin(), all.end());
    return all;
}

template <typename T>
host::Array hostMatrix(size_t rows, size_t cols, const std::vector<T> &values) {
    return host::makeMatrix<T>(rows, cols, values);
}

void splitScanBinnedNodeCall(benchmark::State &state, cpu::Isa isa) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const DataSet &d = dataSet();
    static const host::Array binnedData = hostMatrix<uint8_t>(dataSamples, dataFeatures, d.binned);
    static const host::Array labels = hostMatrix<uint32_t>(dataSamples, 1, d.labels);
    static const host::Array weights = hostMatrix<float>(dataSamples, 1, d.weights);
    std::vector<uint32_t> features(dataFeatures);
    std::iota(features.begin(), features.end(), 0u);
    const host::Array B = host::makeScalar(bins), K = host::makeScalar(classes), unused = host::makeScalar(0);
    const host::Array list = hostMatrix<uint32_t>(1, static_cast<size_t>(n), nodeSamples(n, state.range(2) != 0));
    const host::Array candidates = hostMatrix<uint32_t>(1, dataFeatures, features);
    const host::Array classWeights = hostMatrix<double>(1, classes, {1.0, 1.0, 1.0});
    const host::Array threadLimit = host::makeScalar(threads);
    moduleCalls::setMaxThreads(threads);
    const std::vector<const mxArray *> inputs{binnedData.get(), labels.get(), weights.get(), B.get(),
                                              list.get(),       candidates.get(), K.get(), unused.get(),
                                              classWeights.get(), threadLimit.get()};
    const host::Module &capped = moduleCalls::cappedModule("splitScanBinned", isa, inputs);
    moduleCalls::timeTrio(state, moduleCalls::Trio("splitScanBinned", capped), inputs);
}

void splitScanNodeCall(benchmark::State &state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    const DataSet &d = dataSet();
    const std::vector<uint32_t> list = nodeSamples(n, state.range(2) != 0);
    std::vector<float> X(static_cast<size_t>(n) * dataFeatures), weights;
    std::vector<uint32_t> labels, order(X.size());
    for (int32_t f = 0; f < dataFeatures; ++f) {
        float *x = &X[static_cast<size_t>(n) * f];
        for (int32_t i = 0; i < n; ++i) x[i] = d.X[static_cast<size_t>(dataSamples) * f + list[i]];
        uint32_t *column = &order[static_cast<size_t>(n) * f];
        std::iota(column, column + n, 0u);
        std::stable_sort(column, column + n, [x](uint32_t a, uint32_t b) { return x[a] < x[b]; });
    }
    for (uint32_t s : list) {
        labels.push_back(d.labels[s]);
        weights.push_back(d.weights[s]);
    }
    const host::Array inX = hostMatrix<float>(static_cast<size_t>(n), dataFeatures, X);
    const host::Array inLabels = hostMatrix<uint32_t>(static_cast<size_t>(n), 1, labels);
    const host::Array inWeights = hostMatrix<float>(static_cast<size_t>(n), 1, weights);
    const host::Array inOrder = hostMatrix<uint32_t>(static_cast<size_t>(n), dataFeatures, order);
    const host::Array K = host::makeScalar(classes), unused = host::makeScalar(0);
    const host::Array classWeights = hostMatrix<double>(1, classes, {1.0, 1.0, 1.0});
    moduleCalls::setMaxThreads(static_cast<int>(state.range(1)));
    moduleCalls::timeTrio(state, moduleCalls::Trio("splitScan"),
                          {inX.get(), inLabels.get(), inWeights.get(), inOrder.get(), K.get(), unused.get(),
                           classWeights.get()});
}

// splitScan on the large nodes of the kernel benchmark (bench/sweep): M
// samples, N features, K classes, values, weights and class weights drawn
// as there, each column sorted by value.
void splitScanLargeNodeCall(benchmark::State &state) {
    support::SweepRecipe continuous{"continuous"};
    continuous.continuous = true;
    const support::SweepNode n = support::sweepNode(continuous, static_cast<int32_t>(state.range(0)),
                                                    static_cast<int32_t>(state.range(1)),
                                                    static_cast<int32_t>(state.range(2)), 42);
    const size_t M = static_cast<size_t>(n.M), N = static_cast<size_t>(n.N);
    const host::Array inX = hostMatrix<float>(M, N, n.X);
    const host::Array inLabels = hostMatrix<uint32_t>(M, 1, n.labels);
    const host::Array inWeights = hostMatrix<float>(M, 1, n.weights);
    const host::Array inOrder = hostMatrix<uint32_t>(M, N, n.sortedOrder);
    const host::Array K = host::makeScalar(n.K), unused = host::makeScalar(0);
    const host::Array classWeights = hostMatrix<double>(1, static_cast<size_t>(n.K), n.classWeights);
    moduleCalls::setMaxThreads(static_cast<int>(state.range(3)));
    moduleCalls::timeTrio(state, moduleCalls::Trio("splitScan"),
                          {inX.get(), inLabels.get(), inWeights.get(), inOrder.get(), K.get(), unused.get(),
                           classWeights.get()});
}

const std::vector<std::vector<int64_t>> nodeRows{{1, 16, 64, 256, 1024, 4096, 16384}, {1, 2}, {0, 1}};

}  // namespace

// splitScanBinned once per version of its scan that runs here (the others
// named in the run's context); then node sizes between those rows, around
// its team cut-over.
const bool binnedRows = [] {
    std::string notHere;
    for (cpu::Isa isa : split::binnedVersions) {
        if (!cpu::runs(isa)) {
            notHere += std::string(notHere.empty() ? "" : " ") + cpu::name(isa);
            continue;
        }
        const std::string name = std::string("splitScanBinnedNodeCall/") + cpu::name(isa);
        for (const auto &sizes : {nodeRows[0], std::vector<int64_t>{512, 2048, 8192}})
            benchmark::RegisterBenchmark(name.c_str(), splitScanBinnedNodeCall, isa)
                ->ArgNames({"n", "threads", "shuffled"})
                ->ArgsProduct({sizes, nodeRows[1], nodeRows[2]})
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
    }
    if (!notHere.empty()) benchmark::AddCustomContext("binned versions not run here", notHere);
    return true;
}();
BENCHMARK(splitScanNodeCall)
    ->ArgNames({"n", "threads", "shuffled"})
    ->ArgsProduct(nodeRows)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(splitScanLargeNodeCall)
    ->ArgNames({"M", "N", "K", "threads"})
    ->Apply(sideBySide::largeSweepNodes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
