// Whole trees grown node by node as a user's grower does, through the
// stand-in host's loader, with each split search: call the module on the
// node, take the feature of the largest gain, split the node's sample list
// (splitScan: its rows and presorted order) at the threshold, recurse until
// a node is pure, has fewer than 2 samples or no split gains. Every
// iteration grows the tree with the built module and with the same entry
// over the reference loop (moduleCalls.h), in turn. Data sets:
//   iris       Fisher's iris (Debian's octave-statistics: datasets/fisheriris.mat),
//              each of its 150 flowers 20 times, every measurement with normal
//              noise of 0.2 times its spread over the flowers: 3000 samples,
//              4 features, K = 3 species
//   synthetic  200,000 samples, 50 features uniform in [0, 1), K = 3 classes
//              from a rule on five features, one label in ten replaced at random
// splitScanBinned reads the features in 256 bins of equal width. `threads` is
// the runtime's maximum and splitScanBinned's threadLimit. Counters:
//   nodes                       the tree's nodes (calls and leaves)
//   module_s, reference_s       time to grow the whole tree, grower included
//   ratio                       reference_s / module_s
//   same_tree                   1: both grew the same tree
//   calls_<size>, module_ms_<size>, reference_ms_<size>
//                               calls and time in calls by node size (samples)
// Run it with, e.g.
//   benchmarks --benchmark_filter=Tree --benchmark_repetitions=3 --benchmark_counters_tabular=true
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>

#include "moduleCalls.h"

namespace {

using moduleCalls::seconds;
using Clock = std::chrono::steady_clock;

struct DataSet {
    int32_t M = 0, F = 0, K = 0;
    std::vector<float> X;         // M x F, column-major
    std::vector<uint8_t> binned;  // the same in 256 bins of equal width per feature
    std::vector<uint32_t> labels;
    std::vector<float> weights;
};

void binFeatures(DataSet &d) {
    d.binned.resize(d.X.size());
    for (int32_t f = 0; f < d.F; ++f) {
        const float *x = &d.X[static_cast<size_t>(d.M) * f];
        const auto range = std::minmax_element(x, x + d.M);
        const double low = *range.first, width = (static_cast<double>(*range.second) - low) / 256;
        for (int32_t s = 0; s < d.M; ++s) {
            const double b = width > 0 ? std::floor((x[s] - low) / width) : 0;
            d.binned[static_cast<size_t>(d.M) * f + s] = static_cast<uint8_t>(std::min(b, 255.0));
        }
    }
}

// `meas` (150 x 4 doubles) from an Octave binary file; empty when the file
// is not there or not as expected.
std::vector<double> irisMeasurements() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator("/usr/share/octave/packages", ec)) {
        if (e.path().filename().string().rfind("statistics-", 0) != 0) continue;
        std::ifstream in(e.path() / "datasets" / "fisheriris.mat", std::ios::binary);
        char magic[11];
        if (!in.read(magic, 11) || std::memcmp(magic, "Octave-1-L\0", 11) != 0) continue;
        auto int32 = [&in] {
            int32_t v = 0;
            in.read(reinterpret_cast<char *>(&v), 4);
            return v;
        };
        auto text = [&](int32_t length) {
            std::string s(static_cast<size_t>(std::max(length, 0)), '\0');
            in.read(s.data(), static_cast<std::streamsize>(s.size()));
            return s;
        };
        // Name, description, global flag, type: a double matrix of 150 x 4.
        const std::string name = text(int32());
        text(int32());
        char flagAndType[2];
        in.read(flagAndType, 2);
        if (name != "meas" || static_cast<unsigned char>(flagAndType[1]) != 255 || text(int32()) != "matrix" ||
            int32() != -2 || int32() != 150 || int32() != 4 || in.get() != 7)
            continue;
        std::vector<double> meas(600);
        if (in.read(reinterpret_cast<char *>(meas.data()), 600 * sizeof(double))) return meas;
    }
    return {};
}

// Noise on each copy of a measurement, in units of that measurement's
// standard deviation over the 150 flowers.
constexpr double irisNoise = 0.2;

const DataSet &iris() {
    static const DataSet d = [] {
        DataSet d;
        const std::vector<double> meas = irisMeasurements();
        if (meas.empty()) return d;
        const int copies = 20;
        d.M = 150 * copies;
        d.F = 4;
        d.K = 3;
        // Each measurement's own spread over the 150 flowers.
        double spread[4];
        for (int f = 0; f < 4; ++f) {
            double sum = 0, squares = 0;
            for (int s = 0; s < 150; ++s) {
                sum += meas[150 * f + s];
                squares += meas[150 * f + s] * meas[150 * f + s];
            }
            spread[f] = std::sqrt(squares / 150 - (sum / 150) * (sum / 150));
        }
        std::mt19937 rng(150);
        std::normal_distribution<double> noise(0.0, 1.0);
        d.X.resize(static_cast<size_t>(d.M) * d.F);
        for (int32_t s = 0; s < d.M; ++s) {
            for (int32_t f = 0; f < d.F; ++f)
                d.X[static_cast<size_t>(d.M) * f + s] =
                    static_cast<float>(meas[150 * f + s % 150] + irisNoise * spread[f] * noise(rng));
            d.labels.push_back(1 + (s % 150) / 50);  // setosa, versicolor, virginica
        }
        d.weights.assign(d.M, 1.0f);
        binFeatures(d);
        return d;
    }();
    return d;
}

const DataSet &synthetic() {
    static const DataSet d = [] {
        DataSet d;
        d.M = 200000;
        d.F = 50;
        d.K = 3;
        std::mt19937 rng(2000);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        d.X.resize(static_cast<size_t>(d.M) * d.F);
        for (float &x : d.X) x = unit(rng);
        auto x = [&d](int32_t s, int32_t f) { return d.X[static_cast<size_t>(d.M) * f + s]; };
        for (int32_t s = 0; s < d.M; ++s) {
            const double score = x(s, 0) + 0.5 * x(s, 1) - x(s, 2) * x(s, 3) + 0.3 * std::sin(6.0 * x(s, 4));
            uint32_t label = score < 0.35 ? 1 : score < 0.8 ? 2 : 3;
            if (rng() % 10 == 0) label = 1 + rng() % 3;
            d.labels.push_back(label);
        }
        d.weights.assign(d.M, 1.0f);
        binFeatures(d);
        return d;
    }();
    return d;
}

// Calls and time in calls by node size.
constexpr int64_t bucketEdges[] = {2, 16, 128, 1024, 8192, INT64_MAX};
constexpr const char *bucketNames[] = {"2-15", "16-127", "128-1023", "1024-8191", "8192+"};
constexpr int bucketCount = 5;

struct Growth {
    int64_t nodes = 0;
    double seconds = 0;
    int64_t calls[bucketCount] = {};
    double callSeconds[bucketCount] = {};
    uint64_t shape = 1469598103934665603u;  // hash of every split, in order
    bool ok = true;
    std::string error;

    void call(int64_t n, double s) {
        int b = 0;
        while (n >= bucketEdges[b + 1]) ++b;
        ++calls[b];
        callSeconds[b] += s;
    }
    void note(uint64_t v) { shape = (shape ^ v) * 1099511628211u; }
};

// The feature of the largest gain above 0 (the first of equal ones), or -1.
int32_t bestFeature(const host::CallResult &r, int32_t F) {
    const double *gain = static_cast<const double *>(mxGetData(r.outputs[2].get()));
    int32_t best = -1;
    for (int32_t f = 0; f < F; ++f)
        if (gain[f] > 0 && (best < 0 || gain[f] > gain[best])) best = f;
    return best;
}

bool pure(const DataSet &d, const uint32_t *samples, size_t n) {
    for (size_t i = 1; i < n; ++i)
        if (d.labels[samples[i]] != d.labels[samples[0]]) return false;
    return true;
}

// One call of the grower: times it, notes the error that stops the growth.
bool callNode(const host::Module &m, const std::vector<const mxArray *> &inputs, int64_t n, Growth &g,
              host::CallResult &r) {
    const Clock::time_point start = Clock::now();
    r = m.call(3, inputs);
    g.call(n, seconds(Clock::now() - start));
    if (!r.ok()) {
        g.ok = false;
        g.error = r.errorId + ": " + r.errorMessage;
    }
    return g.ok;
}

Growth growBinned(const host::Module &m, const DataSet &d, int threads) {
    Growth g;
    const host::Array binnedData = host::makeMatrix<uint8_t>(d.M, d.F, d.binned);
    const host::Array labels = host::makeMatrix<uint32_t>(d.M, 1, d.labels);
    const host::Array weights = host::makeMatrix<float>(d.M, 1, d.weights);
    std::vector<uint32_t> features(d.F);
    std::iota(features.begin(), features.end(), 0u);
    const host::Array candidates = host::makeMatrix<uint32_t>(1, d.F, features);
    const host::Array B = host::makeScalar(256), K = host::makeScalar(d.K), unused = host::makeScalar(0);
    const host::Array classWeights = host::makeMatrix<double>(1, d.K, std::vector<double>(d.K, 1.0));
    const host::Array threadLimit = host::makeScalar(threads);

    const Clock::time_point start = Clock::now();
    std::vector<std::vector<uint32_t>> pending(1, std::vector<uint32_t>(d.M));
    std::iota(pending[0].begin(), pending[0].end(), 0u);
    while (!pending.empty() && g.ok) {
        const std::vector<uint32_t> samples = std::move(pending.back());
        pending.pop_back();
        ++g.nodes;
        const size_t n = samples.size();
        if (n < 2 || pure(d, samples.data(), n)) continue;
        const host::Array list = host::makeMatrix<uint32_t>(1, n, samples);
        host::CallResult r;
        if (!callNode(m, {binnedData.get(), labels.get(), weights.get(), B.get(), list.get(), candidates.get(), K.get(),
                          unused.get(), classWeights.get(), threadLimit.get()},
                      static_cast<int64_t>(n), g, r))
            break;
        const int32_t f = bestFeature(r, d.F);
        if (f < 0) continue;
        const double bin = static_cast<const double *>(mxGetData(r.outputs[1].get()))[f];
        const uint8_t *column = &d.binned[static_cast<size_t>(d.M) * f];
        std::vector<uint32_t> left, right;
        for (uint32_t s : samples) (column[s] <= bin ? left : right).push_back(s);
        g.note(static_cast<uint64_t>(f) << 40 ^ static_cast<uint64_t>(bin) << 32 ^ n);
        if (left.empty() || right.empty()) continue;
        pending.push_back(std::move(right));
        pending.push_back(std::move(left));
    }
    g.seconds = seconds(Clock::now() - start);
    return g;
}

// A splitScan node: its samples (rows of the data set) in the node's row
// order, and each feature's order of those rows by value.
struct SweepNode {
    std::vector<uint32_t> samples;
    std::vector<uint32_t> order;  // n x F, zero-based rows of the node
};

Growth growSorted(const host::Module &m, const DataSet &d) {
    Growth g;
    const host::Array K = host::makeScalar(d.K), unused = host::makeScalar(0);
    const host::Array classWeights = host::makeMatrix<double>(1, d.K, std::vector<double>(d.K, 1.0));
    // The presorted order of the whole data set, made once before growing.
    SweepNode root;
    root.samples.resize(d.M);
    std::iota(root.samples.begin(), root.samples.end(), 0u);
    root.order.resize(static_cast<size_t>(d.M) * d.F);
    for (int32_t f = 0; f < d.F; ++f) {
        uint32_t *column = &root.order[static_cast<size_t>(d.M) * f];
        const float *x = &d.X[static_cast<size_t>(d.M) * f];
        std::iota(column, column + d.M, 0u);
        std::stable_sort(column, column + d.M, [x](uint32_t a, uint32_t b) { return x[a] < x[b]; });
    }

    const Clock::time_point start = Clock::now();
    std::vector<SweepNode> pending;
    pending.push_back(std::move(root));
    while (!pending.empty() && g.ok) {
        const SweepNode node = std::move(pending.back());
        pending.pop_back();
        ++g.nodes;
        const size_t n = node.samples.size();
        if (n < 2 || pure(d, node.samples.data(), n)) continue;
        host::Array X = host::makeArray(mxSINGLE_CLASS, {n, static_cast<size_t>(d.F)});
        host::Array labels = host::makeArray(mxUINT32_CLASS, {n, 1});
        host::Array weights = host::makeArray(mxSINGLE_CLASS, {n, 1});
        host::Array order = host::makeMatrix<uint32_t>(n, d.F, node.order);
        float *x = static_cast<float *>(mxGetData(X.get()));
        for (int32_t f = 0; f < d.F; ++f)
            for (size_t i = 0; i < n; ++i) x[n * f + i] = d.X[static_cast<size_t>(d.M) * f + node.samples[i]];
        for (size_t i = 0; i < n; ++i) {
            static_cast<uint32_t *>(mxGetData(labels.get()))[i] = d.labels[node.samples[i]];
            static_cast<float *>(mxGetData(weights.get()))[i] = d.weights[node.samples[i]];
        }
        host::CallResult r;
        if (!callNode(m, {X.get(), labels.get(), weights.get(), order.get(), K.get(), unused.get(), classWeights.get()},
                      static_cast<int64_t>(n), g, r))
            break;
        const int32_t f = bestFeature(r, d.F);
        if (f < 0) continue;
        const double threshold = static_cast<const double *>(mxGetData(r.outputs[1].get()))[f];
        // Rows at or below the threshold go left; each child keeps the
        // parent's row order and the parent's sorted orders, renumbered.
        std::vector<bool> goesLeft(n);
        std::vector<uint32_t> renumbered(n);
        SweepNode left, right;
        for (size_t i = 0; i < n; ++i) {
            goesLeft[i] = x[n * f + i] <= threshold;
            SweepNode &side = goesLeft[i] ? left : right;
            renumbered[i] = static_cast<uint32_t>(side.samples.size());
            side.samples.push_back(node.samples[i]);
        }
        uint64_t bits;
        std::memcpy(&bits, &threshold, sizeof bits);
        g.note(static_cast<uint64_t>(f) << 48 ^ bits ^ n);
        if (left.samples.empty() || right.samples.empty()) continue;
        for (int32_t c = 0; c < d.F; ++c)
            for (size_t i = 0; i < n; ++i) {
                const uint32_t row = node.order[n * c + i];
                (goesLeft[row] ? left : right).order.push_back(renumbered[row]);
            }
        pending.push_back(std::move(right));
        pending.push_back(std::move(left));
    }
    g.seconds = seconds(Clock::now() - start);
    return g;
}

enum class Data { iris, synthetic };
enum class Search { binned, sorted };

void growTree(benchmark::State &state, Data data, Search search) {
    const DataSet &d = data == Data::iris ? iris() : synthetic();
    if (d.M == 0) {
        state.SkipWithError("fisheriris.mat of octave-statistics not found");
        return;
    }
    const int threads = static_cast<int>(state.range(0));
    moduleCalls::setMaxThreads(threads);
    const moduleCalls::Trio trio(search == Search::binned ? "splitScanBinned" : "splitScan");
    auto grow = [&](int which) {
        const host::Module &m = *trio.modules[which];
        return search == Search::binned ? growBinned(m, d, threads) : growSorted(m, d);
    };
    Growth sum[2];
    bool same = true;
    int round = 0;
    for (auto _ : state) {
        Growth g[2];
        for (int i = 0; i < 2; ++i) {
            const int which = (round + i) % 2;  // built first, then reference first
            g[which] = grow(which);
        }
        ++round;
        if (!g[0].ok || !g[1].ok) {
            state.SkipWithError((g[0].ok ? g[1] : g[0]).error.c_str());
            break;
        }
        same = same && g[0].shape == g[1].shape && g[0].nodes == g[1].nodes;
        for (int w = 0; w < 2; ++w) {
            sum[w].nodes = g[w].nodes;
            sum[w].seconds += g[w].seconds;
            for (int b = 0; b < bucketCount; ++b) {
                sum[w].calls[b] = g[w].calls[b];
                sum[w].callSeconds[b] += g[w].callSeconds[b];
            }
        }
        state.SetIterationTime(g[0].seconds);
    }
    if (round == 0 || state.error_occurred()) return;
    const double rounds = round;
    state.counters["nodes"] = static_cast<double>(sum[0].nodes);
    state.counters["module_s"] = sum[0].seconds / rounds;
    state.counters["reference_s"] = sum[1].seconds / rounds;
    state.counters["ratio"] = sum[1].seconds / sum[0].seconds;
    state.counters["same_tree"] = same ? 1 : 0;
    for (int b = 0; b < bucketCount; ++b) {
        const std::string size = bucketNames[b];
        state.counters["calls_" + size] = static_cast<double>(sum[0].calls[b]);
        state.counters["module_ms_" + size] = sum[0].callSeconds[b] / rounds * 1e3;
        state.counters["reference_ms_" + size] = sum[1].callSeconds[b] / rounds * 1e3;
    }
}

}  // namespace

// The synthetic trees take seconds: one growth per repetition.
#define TREE_ROWS(name, data, search) \
    BENCHMARK_CAPTURE(growTree, name, data, search)->ArgName("threads")->Arg(1)->Arg(2)->UseManualTime()
TREE_ROWS(iris_splitScanBinned, Data::iris, Search::binned)->Unit(benchmark::kMillisecond);
TREE_ROWS(iris_splitScan, Data::iris, Search::sorted)->Unit(benchmark::kMillisecond);
TREE_ROWS(synthetic_splitScanBinned, Data::synthetic, Search::binned)->Iterations(1)->Unit(benchmark::kSecond);
TREE_ROWS(synthetic_splitScan, Data::synthetic, Search::sorted)->Iterations(1)->Unit(benchmark::kSecond);
