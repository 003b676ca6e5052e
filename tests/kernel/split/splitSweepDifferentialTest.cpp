// The optimized presorted sweep against the plain loop, bit for bit, for every
// version of the block evaluation this processor runs (the portable one
// always), on teams of 1, 2, 3 and 8 threads. Column lengths straddle the
// group and ring boundaries of the optimized sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "split/nodeTotals.h"
#include "split/sweep.h"
#include "splitSweepOracle.h"
#include "splitSweepPlain.h"

namespace {

using oracle::SplitProblem;
using split::SweepKernel;

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

std::vector<SweepKernel> availableKernels() {
    std::vector<SweepKernel> found;
    for (SweepKernel k : {SweepKernel::scalar, SweepKernel::avx2, SweepKernel::avx512})
        if (split::sweepKernelAvailable(k)) found.push_back(k);
    return found;
}

const char *nameOf(SweepKernel k) {
    switch (k) {
    case SweepKernel::avx512: return "avx512";
    case SweepKernel::avx2: return "avx2";
    default: return "scalar";
    }
}

struct Outcome {
    std::vector<double> rows;  // impurity, threshold, gain
    int64_t badEntry = 0;
};

split::SweepInput inputOf(const SplitProblem &p) {
    return {p.X.data(), p.labels.data(), p.weights.data(), p.sortedOrder.data(), p.classWeights.data(), p.M, p.N, p.K};
}

split::SplitRows rowsOf(std::vector<double> &rows, int N) { return {rows.data(), rows.data() + N, rows.data() + 2 * N}; }

// Both sweeps from the same node totals, with the entry's sizes of scratch.
struct Node {
    std::vector<double> classMass;
    split::NodeTotals totals;
    explicit Node(const SplitProblem &p) : classMass(p.K, 0.0) {
        const split::ClassMassPass pass =
            split::accumulateClassMass(p.labels.data(), p.weights.data(), p.M, p.K, classMass.data());
        EXPECT_EQ(pass.badSample, -1);
        totals = split::nodeTotals(classMass.data(), p.classWeights.data(), p.K, pass);
    }
};

Outcome plainSweep(const SplitProblem &p, const Node &node, int team) {
    Outcome o{std::vector<double>(3 * static_cast<size_t>(p.N)), 0};
    std::vector<double> scratch = sweepPlain::scratchFor(p.K, team);
    o.badEntry = sweepPlain::scanSortedFeatures(inputOf(p), node.totals, rowsOf(o.rows, p.N), team, scratch.data());
    return o;
}

Outcome optimizedSweep(SweepKernel kernel, const SplitProblem &p, const Node &node, int team) {
    Outcome o{std::vector<double>(3 * static_cast<size_t>(p.N)), 0};
    std::vector<split::SampleRecord> records(p.M);
    std::vector<double> tables(split::sweepTableDoubles(p.K, team));
    o.badEntry = split::scanSortedFeaturesWith(kernel, inputOf(p), node.totals, rowsOf(o.rows, p.N), team,
                                               {records.data(), tables.data()});
    return o;
}

// The first differing output, for the failure message.
std::string difference(const Outcome &expected, const Outcome &got, int N) {
    if (expected.badEntry != got.badEntry)
        return "bad entry " + std::to_string(expected.badEntry) + " expected, " + std::to_string(got.badEntry) + " got";
    const char *rowNames[] = {"impurity", "threshold", "gain"};
    for (size_t e = 0; e < expected.rows.size(); ++e)
        if (std::memcmp(&expected.rows[e], &got.rows[e], sizeof(double)) != 0)
            return std::string(rowNames[e / N]) + " of feature " + std::to_string(e % N) + ": expected " +
                   std::to_string(expected.rows[e]) + ", got " + std::to_string(got.rows[e]);
    return "";
}

// How the random problems are made; each switch adds a kind of trouble.
struct Recipe {
    const char *name;
    bool zeroWeights = false;   // some samples weigh nothing
    bool weightlessEdges = false;  // weightless samples at both ends of every column
    bool oddWeights = false;    // negative, tiny, huge and negative zero weights
    bool oneNaNWeight = false;  // one weight NaN or infinite, all sums after it not numbers
    bool oddValues = false;     // NaN, infinite and huge feature values (midpoints that overflow)
    bool classRuns = false;     // labels in long runs along the columns
    bool scrambled = false;     // columns in no order, some not permutations
    bool allWeightless = false;  // a node of total weight 0
};

SplitProblem makeProblem(const Recipe &recipe, int M, int N, int K, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    SplitProblem p;
    p.M = M;
    p.N = N;
    p.K = K;
    const float oddWeights[] = {-0.5f, 1e-30f, 3e7f, -2.0f, -0.0f};
    for (int i = 0; i < M; ++i) {
        p.labels.push_back(recipe.classRuns ? 1 + static_cast<uint32_t>(i * K / std::max(M, 1)) : 1 + rng() % K);
        float w = static_cast<float>(1 + rng() % 997) / 64.0f;
        if (recipe.zeroWeights && percent(rng) < 20) w = 0.0f;
        if (recipe.oddWeights && percent(rng) < 5) w = oddWeights[rng() % 5];
        if (recipe.oneNaNWeight && i == M / 2) w = seed % 2 ? nan : inf;
        if (recipe.allWeightless) w = 0.0f;
        p.weights.push_back(w);
    }
    const double classWeightChoices[] = {1.0, 0.0, 2.0, 0.75, 1.3, 1.0};
    for (int k = 0; k < K; ++k) p.classWeights.push_back(classWeightChoices[rng() % 6]);

    const float oddValues[] = {nan, inf, -inf, FLT_MAX, -FLT_MAX, 3e38f, -0.0f};
    for (int j = 0; j < N; ++j) {
        std::vector<uint32_t> order(M);
        for (int i = 0; i < M; ++i) {
            // Few distinct values, so that many neighbours are equal.
            float x = static_cast<float>(rng() % 11) * 0.25f - 1.0f;
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
                for (int r = 0; r < M / 3; ++r) order[rng() % M] = order[rng() % M];  // repeats, gaps
        }
        p.sortedOrder.insert(p.sortedOrder.end(), order.begin(), order.end());
    }
    return p;
}

// Column lengths around every boundary of the optimized sweep: groups of 4
// and 8 positions, evaluated one or two groups late in a ring of 32.
const int lengths[] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 16, 17, 31, 32, 33, 34, 63, 64, 65, 66, 100, 129, 257, 1000, 2049};

const Recipe recipes[] = {
    {"plain weights"},
    {"zero weights", true},
    {"weightless column ends", true, true},
    {"odd weights", true, false, true},
    {"odd values", false, false, false, false, true},
    {"class runs", false, false, false, false, false, true},
    {"class runs, weightless ends", true, true, false, false, false, true},
    {"one NaN or infinite weight", false, false, false, true},
    {"scrambled columns", true, false, false, false, true, false, true},
    {"node of weight 0", false, false, false, false, false, false, false, true},
};

TEST(SplitSweepDifferential, EveryKernelMatchesThePlainSweepBitForBit) {
    const std::vector<SweepKernel> kernels = availableKernels();
    std::cout << "kernels checked:";
    for (SweepKernel k : kernels) std::cout << ' ' << nameOf(k);
    std::cout << '\n';

    unsigned seed = 1;
    for (const Recipe &recipe : recipes) {
        for (int M : lengths) {
            const int K = 1 + static_cast<int>(seed % 12);
            const int N = M > 1000 ? 3 : 5;
            const SplitProblem p = makeProblem(recipe, M, N, K, seed++);
            const Node node(p);
            const Outcome expected = plainSweep(p, node, 1);
            // One thread, and in turn 2, 3 or 8 (more threads than features).
            const int otherTeams[] = {2, 3, 8};
            for (SweepKernel kernel : kernels)
                for (int team : {1, otherTeams[seed % 3]}) {
                    const Outcome got = optimizedSweep(kernel, p, node, team);
                    EXPECT_EQ(difference(expected, got, N), "")
                        << recipe.name << ", M = " << M << ", K = " << K << ", " << nameOf(kernel) << ", team "
                        << team;
                }
        }
    }
}

// A bad entry anywhere in a column, also at group and ring edges: the same
// entry reported, and what the plain sweep found before it kept.
TEST(SplitSweepDifferential, BadEntriesStopEveryKernelWhereThePlainSweepStops) {
    const Recipe recipe{"zero weights", true};
    unsigned seed = 500;
    for (int M : {5, 33, 70, 300}) {
        for (int position : {0, 1, 3, 4, 7, 8, 9, 31, 32, 33, 63, 64, 65, 299}) {
            if (position >= M) continue;
            SplitProblem p = makeProblem(recipe, M, 4, 3, seed++);
            p.sortedOrder[2 * M + position] = position % 2 ? static_cast<uint32_t>(M) : 0xFFFFFFFFu;
            p.sortedOrder[3 * M + M / 2] = static_cast<uint32_t>(M) + 7;  // a later feature's
            const Node node(p);
            // Which later features still run depends on the team, as it does
            // for the plain sweep.
            for (int team : {1, 2, 3, 8}) {
                const Outcome expected = plainSweep(p, node, team);
                ASSERT_EQ(expected.badEntry, 2 * M + position);
                for (SweepKernel kernel : availableKernels())
                    EXPECT_EQ(difference(expected, optimizedSweep(kernel, p, node, team), 4), "")
                        << "M = " << M << ", bad at " << position << ", " << nameOf(kernel) << ", team " << team;
            }
        }
    }
}

TEST(SplitSweepDifferential, FastestKernelRunsHere) {
    EXPECT_TRUE(split::sweepKernelAvailable(split::fastestSweepKernel()));
    EXPECT_TRUE(split::sweepKernelAvailable(SweepKernel::scalar));
}

}  // namespace
