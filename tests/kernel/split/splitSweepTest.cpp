#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "split/nodeTotals.h"
#include "split/sweep.h"
#include "splitSweepOracle.h"

namespace {

using oracle::SplitProblem;
using oracle::SplitResult;

struct Scan {
    SplitResult rows;
    int64_t badEntry;
};

Scan scan(const SplitProblem &p, int team) {
    std::vector<double> mass(p.K, 0.0);
    const split::ClassMassPass pass = split::accumulateClassMass(p.labels.data(), p.weights.data(), p.M, p.K, mass.data());
    EXPECT_EQ(pass.badSample, -1);
    const split::NodeTotals node = split::nodeTotals(mass.data(), p.classWeights.data(), p.K, pass);
    Scan s{{std::vector<double>(p.N), std::vector<double>(p.N), std::vector<double>(p.N)}, 0};
    std::vector<split::SampleRecord> records(p.M);
    std::vector<double> tables(split::sweepTableDoubles(p.K, team));
    const split::SweepInput in{p.X.data(), p.labels.data(), p.weights.data(), p.sortedOrder.data(),
                               p.classWeights.data(), p.M, p.N, p.K};
    s.badEntry = split::scanSortedFeatures(in, node, {s.rows.impurity.data(), s.rows.threshold.data(), s.rows.gain.data()},
                                           team, {records.data(), tables.data()});
    return s;
}

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// One feature of four samples, unit weights unless given.
SplitProblem fourSamples(std::vector<float> x, std::vector<uint32_t> labels, std::vector<uint32_t> order,
                         std::vector<float> weights = {1, 1, 1, 1}, std::vector<double> classWeights = {1, 1}) {
    return {4, 1, 2, std::move(x), std::move(labels), std::move(weights), std::move(order), std::move(classWeights)};
}

TEST(SplitSweep, KnownFeatures) {
    const struct {
        const char *what;
        SplitProblem p;
        double impurity, threshold, gain;
    } cases[] = {
        {"clean split", fourSamples({1, 2, 3, 4}, {1, 1, 2, 2}, {0, 1, 2, 3}), 0, 2.5, 0.5},
        {"descending column", fourSamples({1, 2, 3, 4}, {1, 1, 2, 2}, {3, 2, 1, 0}), 0, 2.5, 0.5},
        {"earliest of equal candidates", fourSamples({1, 2, 3, 4}, {1, 2, 2, 1}, {0, 1, 2, 3}), 1.0 / 3, 1.5,
         0.16666666666666669},
        {"between equal values", fourSamples({5, 5, 5, 7}, {1, 1, 2, 2}, {0, 1, 2, 3}), 0, 5, 0.5},
        {"one class only", fourSamples({1, 2, 3, 4}, {1, 1, 1, 1}, {0, 1, 2, 3}), 0, 0, 0},
        {"zero-weight first sample", fourSamples({1, 2, 3, 4}, {1, 1, 2, 2}, {0, 1, 2, 3}, {0, 1, 1, 1}), 0, 2.5,
         0.4444444444444444},
        {"class weights 0 and 2", fourSamples({1, 2, 3, 4}, {1, 1, 2, 2}, {0, 1, 2, 3}, {1, 1, 1, 1}, {0, 2}), -1, 2.5,
         1},
        {"finite values whose sum overflows", fourSamples({-1, 0, 3e38f, FLT_MAX}, {1, 1, 1, 2}, {0, 1, 2, 3}),
         0, static_cast<double>(1.5e38f + FLT_MAX / 2), 0.375},
    };
    for (const auto &c : cases) {
        const Scan s = scan(c.p, 1);
        EXPECT_EQ(s.badEntry, split::noBadEntry) << c.what;
        EXPECT_EQ(s.rows.impurity[0], c.impurity) << c.what;
        EXPECT_EQ(s.rows.threshold[0], c.threshold) << c.what;
        EXPECT_EQ(s.rows.gain[0], c.gain) << c.what;
    }
}

// Once only weightless samples remain on the right, the running right-side
// sums hold rounding residue (here WR = 0 beside SR > 0, an impurity of -inf);
// such positions must not count as splits.
TEST(SplitSweep, TrailingZeroWeightSampleChangesNothing) {
    const SplitProblem four = fourSamples({1, 2, 3, 4}, {1, 2, 1, 2}, {0, 1, 2, 3}, {0.1f, 2.5f, 0.1f, 0});
    const SplitProblem three{3, 1, 2, {1, 2, 3}, {1, 2, 1}, {0.1f, 2.5f, 0.1f}, {0, 1, 2}, {1, 1}};
    const Scan a = scan(four, 1), b = scan(three, 1);
    EXPECT_TRUE(std::isfinite(a.rows.impurity[0]));
    EXPECT_TRUE(sameBits(a.rows.impurity, b.rows.impurity) && sameBits(a.rows.threshold, b.rows.threshold) &&
                sameBits(a.rows.gain, b.rows.gain));
}

// The plain sweep as oracle, on teams of every size including more threads than features.
TEST(SplitSweep, MatchesPlainSweepBitForBitOnAnyTeam) {
    const struct {
        int M, N, K;
    } shapes[] = {{2, 1, 2}, {40, 7, 3}, {300, 13, 5}, {17, 2, 4}, {64, 33, 2}};
    unsigned seed = 1;
    for (const auto &shape : shapes) {
        const SplitProblem p = oracle::randomProblem(seed++, shape.M, shape.N, shape.K);
        const SplitResult expected = oracle::plainSplitScan(p);
        for (int team : {1, 2, 3, 8}) {
            const Scan s = scan(p, team);
            EXPECT_EQ(s.badEntry, split::noBadEntry);
            EXPECT_TRUE(sameBits(s.rows.impurity, expected.impurity) && sameBits(s.rows.threshold, expected.threshold) &&
                        sameBits(s.rows.gain, expected.gain))
                << "M = " << shape.M << ", N = " << shape.N << ", team " << team;
        }
    }
}

// The oracle itself against impurities computed from scratch at every position.
TEST(SplitSweep, PlainSweepFindsTheLowestImpurity) {
    const SplitProblem p = oracle::randomProblem(99, 50, 6, 3);
    const SplitResult r = oracle::plainSplitScan(p);
    std::vector<double> node(p.K, 0.0);
    for (int i = 0; i < p.M; ++i) node[p.labels[i] - 1] += p.weights[i];
    auto sideTerm = [&](const std::vector<double> &m) {
        double W = 0, S = 0;
        for (int k = 0; k < p.K; ++k) W += m[k], S += std::pow(p.classWeights[k] * m[k], 2);
        return W - S / W;
    };
    double W = 0;
    for (double m : node) W += m;
    const double G0 = sideTerm(node) / W;
    for (int j = 0; j < p.N; ++j) {
        std::vector<double> left(p.K, 0.0), right = node;
        double lowest = G0;
        for (int s = 0; s + 1 < p.M; ++s) {
            const uint32_t i = p.sortedOrder[j * p.M + s];
            left[p.labels[i] - 1] += p.weights[i];
            right[p.labels[i] - 1] -= p.weights[i];
            const double I = (sideTerm(left) + sideTerm(right)) / W;
            if (I < lowest) lowest = I;
        }
        EXPECT_NEAR(r.impurity[j], lowest < G0 - 1e-9 ? lowest : 0.0, 1e-9) << "feature " << j;
    }
}

TEST(SplitSweep, ReportsFirstBadEntryOfLowestFeatureOnAnyTeam) {
    SplitProblem p = oracle::randomProblem(5, 30, 9, 3);
    p.sortedOrder[7 * 30 + 3] = 30;           // feature 7, a later bad feature
    p.sortedOrder[4 * 30 + 12] = 0xFFFFFFFFu;  // feature 4: int32 -1
    p.sortedOrder[4 * 30 + 20] = 31;           // feature 4, after its first bad entry
    for (int team : {1, 2, 3, 8}) EXPECT_EQ(scan(p, team).badEntry, 4 * 30 + 12) << "team " << team;

    p.sortedOrder[4 * 30 + 0] = 99;  // the first entry is checked as well
    EXPECT_EQ(scan(p, 2).badEntry, 4 * 30);

    SplitProblem one = oracle::randomProblem(5, 1, 4, 2);
    one.sortedOrder[2] = 1;  // with one sample nothing is swept, yet the entry is checked
    EXPECT_EQ(scan(one, 2).badEntry, 2);
}

}  // namespace
