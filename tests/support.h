// What the tests, the platform checks and the benchmarks share: comparison
// to the bit, and the generators of the inputs they feed both a kernel and
// its reference.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#if defined(__linux__)
#include <unistd.h>
#endif

#include "common/memory.h"
#include "binned/binnedScan.h"

namespace support {

// The same elements to the bit (NaN payloads and the sign of zero count).
template <typename T>
bool sameBits(const std::vector<T> &a, const std::vector<T> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// The first element whose bits differ, for a failure message.
template <typename T>
std::string firstDifference(const std::vector<T> &expected, const std::vector<T> &got) {
    if (expected.size() != got.size())
        return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(got.size());
    for (size_t i = 0; i < expected.size(); ++i)
        if (std::memcmp(&expected[i], &got[i], sizeof(T)) != 0)
            return "element " + std::to_string(i) + ": expected " + std::to_string(expected[i]) + ", got " +
                   std::to_string(got[i]);
    return "none";
}

#if defined(__linux__)
// Requests for scratch that the system cannot give: beyond physical memory,
// and, where the machine leaves room between what the system reports
// available (common/memory.h) and its physical memory, halfway between.
inline std::vector<uint64_t> scratchBeyondAvailable() {
    const uint64_t physical = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    const uint64_t available = memory::availableBytes();
    std::vector<uint64_t> requests{2 * physical};
    if (available < physical && physical - available > (uint64_t{768} << 20))
        requests.push_back(available + (physical - available) / 2);
    return requests;
}
#endif

inline uint32_t bits(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// ---------------------------------------------------------------------------
// Edge thinning: maps.

// An edge map and its orientation map, h rows by w columns, column-major.
struct EdgeMaps {
    int32_t h = 0, w = 0;
    std::vector<float> edge, orientation;
    size_t at(int32_t y, int32_t x) const { return static_cast<size_t>(y) + static_cast<size_t>(h) * x; }
};

inline EdgeMaps blankEdgeMaps(int32_t h, int32_t w) {
    EdgeMaps m;
    m.h = h;
    m.w = w;
    m.edge.assign(static_cast<size_t>(h) * static_cast<size_t>(w), 0.0f);
    m.orientation.assign(m.edge.size(), 0.0f);
    return m;
}

// continuous: strengths in [-1, 1], about a third of them zeros of either
// sign. ties: a few small integers and angles mostly on the pixel grid, so
// that samples fall on pixels and equal their limit. specials: NaN, infinite,
// huge and tiny values and angles among ordinary ones. sparse: 5 % non-zero.
// The other angles are uniform in [-angleSpan, angleSpan].
enum class EdgeKind { continuous, ties, specials, sparse };

inline EdgeMaps edgeMaps(int32_t h, int32_t w, EdgeKind kind, unsigned seed, float angleSpan = 12.566371f) {
    const float pi = 3.14159265f, nan = NAN, inf = INFINITY;
    const float gridAngles[] = {0.0f, pi / 2, pi, -pi / 2, pi / 4, -pi / 4, 3 * pi / 4, 2 * pi, -0.0f, 5 * pi / 2};
    const float tieValues[] = {0.0f, -0.0f, 1.0f, 2.0f, 2.0f, 3.0f, -1.0f, 1.0f, 2.0f, 0.5f};
    const float specialValues[] = {nan, inf, -inf, -0.0f, 0.0f, 1e-40f, -2.0f, 3.0f, 1e30f, 0.25f};
    const float specialAngles[] = {nan, inf, -inf, 1e30f, -3e7f, 1e-40f, 0.0f, 119.9f, 120.1f, 1e5f};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    EdgeMaps m = blankEdgeMaps(h, w);
    for (size_t i = 0; i < m.edge.size(); ++i) {
        float v = unit(rng) * 2.0f - 1.0f;
        float theta = (unit(rng) * 2.0f - 1.0f) * angleSpan;
        if (kind == EdgeKind::continuous && pick(rng) < 3) v = pick(rng) < 5 ? 0.0f : -0.0f;
        if (kind == EdgeKind::sparse && unit(rng) >= 0.05f) v = pick(rng) < 5 ? 0.0f : -0.0f;
        if (kind == EdgeKind::ties) {
            v = tieValues[pick(rng)];
            if (pick(rng) < 8) theta = gridAngles[pick(rng)];
        }
        if (kind == EdgeKind::specials) {
            if (pick(rng) < 3) v = specialValues[pick(rng)];
            if (pick(rng) < 3) theta = specialAngles[pick(rng)];
        }
        m.edge[i] = v;
        m.orientation[i] = theta;
    }
    return m;
}

// Strengths in (0, 1] on a share `density` of the pixels, the others +0;
// angles uniform in [-pi, pi]. The benchmark's maps.
inline EdgeMaps uniformEdgeMaps(int32_t h, int32_t w, double density, unsigned seed) {
    EdgeMaps m = blankEdgeMaps(h, w);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), angle(-3.14159265f, 3.14159265f);
    for (size_t i = 0; i < m.edge.size(); ++i) {
        const bool edge = density >= 1.0 || unit(rng) < density;
        m.edge[i] = edge ? 1.0f - unit(rng) : 0.0f;
        m.orientation[i] = angle(rng);
    }
    return m;
}

// Gradient magnitude and direction of smooth blobs and a ring: the edge maps
// the module is made for, with ridges that many samples nearly tie.
inline EdgeMaps ridgeMaps(int32_t h, int32_t w) {
    EdgeMaps m = blankEdgeMaps(h, w);
    auto image = [&](float y, float x) {
        const float dy = y - 0.4f * h, dx = x - 0.55f * w;
        const float ring = std::exp(-std::pow(std::sqrt(dx * dx + dy * dy) - 0.25f * w, 2.0f) / 18.0f);
        const float blob = std::exp(-((y - 0.7f * h) * (y - 0.7f * h) + (x - 0.2f * w) * (x - 0.2f * w)) / 60.0f);
        return ring + blob + (x > 0.8f * w ? 0.5f : 0.0f);
    };
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const float gx = image(y, x + 1.0f) - image(y, x - 1.0f);
            const float gy = image(y + 1.0f, x) - image(y - 1.0f, x);
            const float magnitude = std::sqrt(gx * gx + gy * gy);
            m.edge[m.at(y, x)] = magnitude < 0.02f ? 0.0f : magnitude;
            m.orientation[m.at(y, x)] = std::atan2(gy, gx);
        }
    return m;
}

// Blocks of 4 x 4 pixels of one of five levels (zero among them): whole
// neighbourhoods equal the pixel, and whether a sample exceeds it rests on the
// rounding of the weights. Angles on the axes and diagonals, or anywhere.
inline EdgeMaps plateauMaps(int32_t h, int32_t w, bool axisAngles, unsigned seed) {
    EdgeMaps m = blankEdgeMaps(h, w);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> level(0, 4);
    std::uniform_real_distribution<float> angle(-3.1416f, 3.1416f);
    const float pi = 3.14159265f;
    const float axes[] = {0.0f, pi / 2, -pi / 2, pi, pi / 4, -3 * pi / 4, pi / 3, pi / 6};
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            std::mt19937 block(seed * 7919u + static_cast<unsigned>((y / 4) * 1000 + x / 4));
            m.edge[m.at(y, x)] = static_cast<float>(level(block)) * 0.25f;
            m.orientation[m.at(y, x)] = axisAngles ? axes[rng() % 8] : angle(rng);
        }
    return m;
}

// ---------------------------------------------------------------------------
// The presorted sweep: nodes with their sorted orders.

// How a random node is made; each switch adds a kind of trouble. Without
// `continuous`, feature values take few distinct values (many neighbours are
// equal) and class weights include 0 and 2.
struct SweepRecipe {
    const char *name;
    bool zeroWeights = false;      // some samples weigh nothing
    bool weightlessEdges = false;  // weightless samples at both ends of every column
    bool oddWeights = false;       // negative, tiny, huge and negative zero weights
    bool oneNaNWeight = false;     // one weight NaN or infinite, all sums after it not numbers
    bool oddValues = false;        // NaN, infinite and huge feature values (midpoints that overflow)
    bool classRuns = false;        // labels in long runs along the columns
    bool scrambled = false;        // columns in no order, some not permutations
    bool allWeightless = false;    // a node of total weight 0
    bool continuous = false;       // values and weights in [0, 1), class weights in [0.5, 1.5)
};

struct SweepNode {
    int32_t M = 0, N = 0, K = 0;
    std::vector<float> X;  // M x N, column-major
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> sortedOrder;  // M x N, each column by value, NaN last
    std::vector<double> classWeights;
};

inline SweepNode sweepNode(const SweepRecipe &recipe, int32_t M, int32_t N, int32_t K, unsigned seed) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    SweepNode p{M, N, K, {}, {}, {}, {}, {}};
    const float oddWeights[] = {-0.5f, 1e-30f, 3e7f, -2.0f, -0.0f};
    for (int32_t i = 0; i < M; ++i) {
        p.labels.push_back(recipe.classRuns ? 1 + static_cast<uint32_t>(int64_t{i} * K / M) : 1 + rng() % K);
        float w = recipe.continuous ? unit(rng) : static_cast<float>(1 + rng() % 997) / 64.0f;
        if (recipe.zeroWeights && percent(rng) < 20) w = 0.0f;
        if (recipe.oddWeights && percent(rng) < 5) w = oddWeights[rng() % 5];
        if (recipe.oneNaNWeight && i == M / 2) w = seed % 2 ? nan : inf;
        if (recipe.allWeightless) w = 0.0f;
        p.weights.push_back(w);
    }
    const double classWeightChoices[] = {1.0, 0.0, 2.0, 0.75, 1.3, 1.0};
    for (int32_t k = 0; k < K; ++k)
        p.classWeights.push_back(recipe.continuous ? 0.5 + unit(rng) : classWeightChoices[rng() % 6]);

    const float oddValues[] = {nan, inf, -inf, FLT_MAX, -FLT_MAX, 3e38f, -0.0f};
    for (int32_t j = 0; j < N; ++j) {
        std::vector<uint32_t> order(M);
        for (int32_t i = 0; i < M; ++i) {
            float x = recipe.continuous ? unit(rng) : static_cast<float>(rng() % 11) * 0.25f - 1.0f;
            if (recipe.oddValues && percent(rng) < 10) x = oddValues[rng() % 7];
            p.X.push_back(x);
            order[i] = i;
        }
        const float *x = p.X.data() + static_cast<size_t>(j) * M;
        std::stable_sort(order.begin(), order.end(), [x](uint32_t a, uint32_t b) {
            return !std::isnan(x[a]) && (std::isnan(x[b]) || x[a] < x[b]);
        });
        if (recipe.classRuns)
            std::stable_sort(order.begin(), order.end(),
                             [&p](uint32_t a, uint32_t b) { return p.labels[a] < p.labels[b]; });
        if (recipe.weightlessEdges) {
            // Weightless samples first and last, the rest in value order between.
            std::vector<uint32_t> weightless, weighted;
            for (uint32_t i : order) (p.weights[i] == 0.0f ? weightless : weighted).push_back(i);
            const size_t front = weightless.size() / 2;
            order.assign(weightless.begin(), weightless.begin() + front);
            order.insert(order.end(), weighted.begin(), weighted.end());
            order.insert(order.end(), weightless.begin() + front, weightless.end());
        }
        if (recipe.scrambled) {
            std::shuffle(order.begin(), order.end(), rng);
            if (j % 2 == 1 && M > 0)
                for (int32_t r = 0; r < M / 3; ++r) order[rng() % M] = order[rng() % M];  // repeats, gaps
        }
        p.sortedOrder.insert(p.sortedOrder.end(), order.begin(), order.end());
    }
    return p;
}

// ---------------------------------------------------------------------------
// The binned scan: binned nodes.

// One call's inputs, held in vectors.
struct BinnedNode {
    int32_t M = 0, columns = 0, K = 0, B = 0;
    std::vector<uint8_t> binnedData;  // M x columns, column-major
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> nodeSamples;
    std::vector<uint32_t> candidateFeatures;
    std::vector<double> classWeights;
};

// The node as the scan reads it, before binnedNodeTotals.
inline split::BinnedJob binnedJob(const BinnedNode &d) {
    return {d.binnedData.data(), d.M, d.labels.data(), d.weights.data(), d.nodeSamples.data(),
            static_cast<int32_t>(d.nodeSamples.size()), d.candidateFeatures.data(),
            static_cast<int32_t>(d.candidateFeatures.size()), d.classWeights.data(), d.K, d.B};
}

// The three output rows of a search over F features, zero-filled.
struct BinnedRows {
    std::vector<double> impurity, threshold, gain;
    explicit BinnedRows(size_t F) : impurity(F), threshold(F), gain(F) {}
    split::SplitRows view() { return {impurity.data(), threshold.data(), gain.data()}; }
    bool sameBits(const BinnedRows &o) const {
        return support::sameBits(impurity, o.impurity) && support::sameBits(threshold, o.threshold) &&
               support::sameBits(gain, o.gain);
    }
};

// Columns (0,1,2,3), (3,2,1,0), (0,0,1,1); labels 1,1,2,2; unit weights and
// class weights; B = 4; every sample listed; features 2, 0, 1.
inline BinnedNode threeColumnNode() {
    BinnedNode d;
    d.M = 4;
    d.columns = 3;
    d.K = 2;
    d.B = 4;
    d.binnedData = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1};
    d.labels = {1, 1, 2, 2};
    d.weights = {1, 1, 1, 1};
    d.nodeSamples = {0, 1, 2, 3};
    d.candidateFeatures = {2, 0, 1};
    d.classWeights = {1, 1};
    return d;
}

struct BinnedShape {
    int32_t B, K;
    bool run;     // nodeSamples lists consecutive rows
    bool faulty;  // some listed bins are B or above (when B < 256)
};

// A random node made to hit ties, empty bins, runs of one bin, zero, NaN and
// negative weights, class weights 0 and 2, repeated and unlisted samples,
// lists that are runs of rows or not, and bin values of B or above.
inline BinnedNode randomBinnedNode(std::mt19937 &rng, BinnedShape shape) {
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    BinnedNode d;
    d.M = 1 + below(300);
    d.columns = 1 + below(9);
    d.K = shape.K;
    d.B = shape.B;
    const int topBin = std::min(shape.B, 256);

    // Bin columns: a few occupied bins (ties, empty runs between them), long
    // runs of one bin, or the full range.
    d.binnedData.resize(static_cast<size_t>(d.M) * d.columns);
    for (int32_t f = 0; f < d.columns; ++f) {
        uint8_t *column = &d.binnedData[static_cast<size_t>(d.M) * f];
        std::vector<uint8_t> palette(1 + below(5));
        for (uint8_t &v : palette) v = static_cast<uint8_t>(below(topBin));
        const int style = below(3);
        for (int32_t s = 0; s < d.M; ++s) {
            if (style == 0) column[s] = palette[below(static_cast<int>(palette.size()))];
            else if (style == 1) column[s] = s > 0 && below(8) != 0 ? column[s - 1] : static_cast<uint8_t>(below(topBin));
            else column[s] = static_cast<uint8_t>(below(topBin));
        }
    }
    d.labels.resize(d.M);
    for (uint32_t &l : d.labels) l = 1 + below(d.K);

    // Weights: small integers (exact sums, many ties), values of one scale,
    // and values spread over 2^-40 .. 2^40, whose sums in double round, so
    // that any change in the order of additions shows in the last bits; now
    // and then 0, -0, negative, NaN or infinite ones.
    d.weights.resize(d.M);
    const int scale = below(3);
    const int oddOnes = below(4);  // 0: none
    std::uniform_real_distribution<float> unit(0.5f, 1.0f);
    for (float &w : d.weights) {
        w = scale == 0 ? static_cast<float>(1 + below(3))
            : scale == 1 ? 3.0f * unit(rng)
                         : std::ldexp(unit(rng), below(81) - 40);
        if (below(6) == 0) w = 0.0f;
        if (oddOnes == 1 && below(40) == 0) w = -0.0f;
        if (oddOnes == 2 && below(30) == 0) w = -w;
        if (oddOnes == 3 && below(200) == 0)
            w = below(2) ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    }

    // The list: a run of rows from some first row, or any rows, repeated ones
    // included, in any order.
    if (shape.run) {
        const int32_t first = below(d.M);
        const int32_t n = 1 + below(d.M - first);
        for (int32_t i = 0; i < n; ++i) d.nodeSamples.push_back(static_cast<uint32_t>(first + i));
    } else {
        const int n = 1 + below(2 * d.M);
        for (int i = 0; i < n; ++i) d.nodeSamples.push_back(below(d.M));
    }
    const int F = 1 + below(2 * d.columns + 4);
    for (int i = 0; i < F; ++i) d.candidateFeatures.push_back(below(d.columns));

    // Class weights 0, 1, 2, any, and now and then 2^600 or 2^-600, whose
    // squared masses overflow or vanish.
    d.classWeights.resize(d.K);
    for (double &c : d.classWeights) {
        const int pick = below(21);
        c = pick < 5 ? 0.0 : pick < 10 ? 1.0 : pick < 15 ? 2.0 : pick < 20 ? std::uniform_real_distribution<double>(0.1, 3.0)(rng)
                                                                     : std::ldexp(1.0, below(2) ? 600 : -600);
    }

    // Bin values of B or above for a few listed samples of some columns,
    // anywhere in the list (in whole groups of eight or in the tail).
    if (shape.faulty && shape.B < 256) {
        const int bad = 1 + below(3);
        for (int i = 0; i < bad; ++i) {
            const uint32_t s = d.nodeSamples[below(static_cast<int>(d.nodeSamples.size()))];
            const int32_t f = below(d.columns);
            d.binnedData[static_cast<size_t>(d.M) * f + s] = static_cast<uint8_t>(shape.B + below(256 - shape.B));
        }
    }
    return d;
}

// A benchmark node: every row listed, every column a feature. Uniform bins,
// or skewed ones (nine samples in ten in bin 0, as a sparse feature has
// them); the list a run of rows 0..M-1, or the same rows shuffled.
inline BinnedNode benchBinnedNode(int32_t M, int32_t F, int32_t B, int32_t K, bool skewed, bool shuffled) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    BinnedNode d;
    d.M = M;
    d.columns = F;
    d.K = K;
    d.B = B;
    d.binnedData.resize(static_cast<size_t>(M) * F);
    for (uint8_t &v : d.binnedData) v = skewed && rng() % 10 != 0 ? 0 : static_cast<uint8_t>(rng() % B);
    for (int32_t i = 0; i < M; ++i) {
        d.labels.push_back(1 + rng() % K);
        d.weights.push_back(u(rng));
    }
    d.nodeSamples.resize(M);
    std::iota(d.nodeSamples.begin(), d.nodeSamples.end(), 0u);
    if (shuffled) std::shuffle(d.nodeSamples.begin(), d.nodeSamples.end(), rng);
    d.candidateFeatures.resize(F);
    std::iota(d.candidateFeatures.begin(), d.candidateFeatures.end(), 0u);
    for (int32_t k = 0; k < K; ++k) d.classWeights.push_back(0.5 + u(rng));
    return d;
}

}  // namespace support
