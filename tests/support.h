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
#include <random>
#include <string>
#include <vector>

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

inline uint32_t bits(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// ---------------------------------------------------------------------------
// Edge thinning: maps.

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

}  // namespace support
