// The binned threshold scan: node totals, worked examples, the parallel phase
// against a plain transcription, and the failures it reports.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "binnedOracle.h"
#include "split/binnedScan.h"

namespace {

struct Rows {
    std::vector<double> impurity, threshold, gain;
    explicit Rows(size_t F) : impurity(F), threshold(F), gain(F) {}
    split::SplitRows view() { return {impurity.data(), threshold.data(), gain.data()}; }
};

split::BinnedInputs inputsOf(const oracle::BinnedProblem &p) {
    return {p.binnedData.data(),
            p.M,
            p.labels.data(),
            p.weights.data(),
            p.nodeSamples.data(),
            static_cast<int32_t>(p.nodeSamples.size()),
            p.candidateFeatures.data(),
            static_cast<int32_t>(p.candidateFeatures.size()),
            p.classWeights.data(),
            p.K,
            p.B};
}

// The node totals as the entry computes them, then the whole parallel phase.
split::Fault scan(const oracle::BinnedProblem &p, Rows &rows, int team, split::BinnedNode *nodeOut = nullptr) {
    const split::BinnedInputs in = inputsOf(p);
    split::BinnedNode node{0.0, 0.0};
    if (in.n > 0) {
        EXPECT_EQ(split::binnedNodeTotals(in, node).kind, split::Fault::none);
    }
    if (nodeOut) *nodeOut = node;
    return split::binnedScan(in, node, rows.view(), team);
}

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// One feature over samples 0..3, all listed, unit weights unless given.
struct ScanCase {
    const char *name;
    std::vector<uint8_t> bins;
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<double> classWeights;
    int B;
    double G0;
    double impurity, threshold, gain;
};

const ScanCase scanCases[] = {
    {"separatesAtBinOne", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, 4, 0.5, 0, 1, 0.5},
    {"emptyRightSidesPassedOver", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, 8, 0.5, 0, 1, 0.5},
    {"equalCandidatesLowestWins", {0, 1, 2, 3}, {1, 2, 2, 1}, {1, 1, 1, 1}, {1, 1}, 4, 0.5,
     0.3333333333333333, 0, 0.16666666666666669},
    {"gapBetweenBinsLowestWins", {0, 0, 5, 5}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, 8, 0.5, 0, 0, 0.5},
    {"allInOneBin", {2, 2, 2, 2}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, 4, 0.5, 0, 0, 0},
    {"zeroWeightLeftSidePassedOver", {0, 1, 2, 3}, {1, 1, 2, 2}, {0, 1, 1, 1}, {1, 1}, 4, 0.4444444444444444,
     0, 1, 0.4444444444444444},
    {"classWeightsTwoAndOne", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {2, 1}, 4, -0.25, -1.5, 1, 1.25},
    {"pureNodeNeverImproves", {0, 1, 2, 3}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1}, 4, 0, 0, 0, 0},
    {"oneBinNoCandidate", {0, 0, 0, 0}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, 1, 0.5, 0, 0, 0},
};

void PrintTo(const ScanCase &c, std::ostream *os) { *os << c.name; }

class ScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, FindsTheLowestSplit) {
    const ScanCase &c = GetParam();
    oracle::BinnedProblem p;
    p.M = 4;
    p.columns = 1;
    p.K = 2;
    p.B = c.B;
    p.binnedData = c.bins;
    p.labels = c.labels;
    p.weights = c.weights;
    p.nodeSamples = {0, 1, 2, 3};
    p.candidateFeatures = {0};
    p.classWeights = c.classWeights;
    Rows rows(1);
    split::BinnedNode node;
    EXPECT_EQ(scan(p, rows, 1, &node).kind, split::Fault::none);
    EXPECT_EQ(node.G0, c.G0);
    EXPECT_EQ(rows.impurity[0], c.impurity);
    EXPECT_EQ(rows.threshold[0], c.threshold);
    EXPECT_EQ(rows.gain[0], c.gain);
}

INSTANTIATE_TEST_SUITE_P(BinnedScan, ScanTable, ::testing::ValuesIn(scanCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Columns (0,1,2,3), (3,2,1,0), (0,0,1,1); labels 1,1,2,2.
oracle::BinnedProblem threeColumns() {
    oracle::BinnedProblem p;
    p.M = 4;
    p.columns = 3;
    p.K = 2;
    p.B = 4;
    p.binnedData = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1};
    p.labels = {1, 1, 2, 2};
    p.weights = {1, 1, 1, 1};
    p.nodeSamples = {0, 1, 2, 3};
    p.classWeights = {1, 1};
    return p;
}

TEST(BinnedScan, NodeWeightUsesListedSamplesOnly) {
    oracle::BinnedProblem p = threeColumns();
    p.nodeSamples = {1, 2, 3};
    p.candidateFeatures = {0};
    Rows rows(1);
    split::BinnedNode node;
    scan(p, rows, 1, &node);
    EXPECT_EQ(node.W, 3.0);
    EXPECT_EQ(node.G0, 0.4444444444444444);
    EXPECT_EQ(rows.impurity[0], 0.0);
    EXPECT_EQ(rows.threshold[0], 1.0);
    EXPECT_EQ(rows.gain[0], 0.4444444444444444);
}

// Each class term is divided by W twice on its own: masses 1 and 4 over W = 5
// give 0.31999999999999995, where 1 - (S / W) / W would give 0.32000000000000006.
TEST(BinnedScan, NodeImpurityDividesEachClassTermTwice) {
    oracle::BinnedProblem p = threeColumns();
    p.nodeSamples = {0, 2, 3, 2, 3};
    split::BinnedNode node;
    ASSERT_EQ(split::binnedNodeTotals(inputsOf(p), node).kind, split::Fault::none);
    EXPECT_EQ(node.W, 5.0);
    EXPECT_EQ(node.G0, 0.31999999999999995);
}

TEST(BinnedScan, MatchesPlainScanForEveryTeam) {
    int compared = 0;
    for (int B : {1, 2, 3, 7, 16, 200, 256, 300, 1000}) {
        for (unsigned seed = 1; seed <= 25; ++seed) {
            const oracle::BinnedProblem p = oracle::randomBinnedProblem(seed * 977 + B, B);
            const oracle::BinnedResult expected = oracle::plainBinnedScan(p);
            for (int team : {1, 2, 3, 8}) {
                Rows rows(p.candidateFeatures.size());
                ASSERT_EQ(scan(p, rows, team).kind, split::Fault::none);
                ASSERT_TRUE(sameBits(rows.impurity, expected.impurity)) << "B " << B << " seed " << seed << " team " << team;
                ASSERT_TRUE(sameBits(rows.threshold, expected.threshold)) << "B " << B << " seed " << seed << " team " << team;
                ASSERT_TRUE(sameBits(rows.gain, expected.gain)) << "B " << B << " seed " << seed << " team " << team;
            }
            for (double g : expected.gain) compared += g != 0.0;
        }
    }
    EXPECT_GT(compared, 300);  // the random problems do find splits
}

// Features at positions 3 and 6 hold a bin value of B or above; whatever the
// team, the lowest position is reported with its first offending sample.
TEST(BinnedScan, ReportsTheLowestFeatureWithABinOfBOrAbove) {
    oracle::BinnedProblem p;
    p.M = 5;
    p.columns = 3;
    p.K = 2;
    p.B = 4;
    p.binnedData = {0, 1, 2, 3, 0, /**/ 0, 1, 7, 3, 5, /**/ 0, 9, 0, 0, 0};
    p.labels = {1, 2, 1, 2, 1};
    p.weights = {1, 1, 1, 1, 1};
    p.nodeSamples = {0, 4, 3, 2, 1};
    p.candidateFeatures = {0, 0, 0, 1, 0, 0, 2, 0};
    p.classWeights = {1, 1};
    for (int team : {1, 2, 3, 4, 8}) {
        Rows rows(p.candidateFeatures.size());
        const split::Fault status = scan(p, rows, team);
        EXPECT_EQ(status.kind, split::Fault::binOutOfRange) << "team " << team;
        EXPECT_EQ(status.index, 3) << "team " << team;
        EXPECT_EQ(status.listIndex, 1) << "team " << team;  // sample 4, bin 5
    }
}

// Histograms for 2^30 classes cannot fit in memory: refused before any scan.
TEST(BinnedScan, RefusesScratchBeyondMemory) {
    const std::vector<uint8_t> bins{0, 1};
    const std::vector<uint32_t> labels{1, 2};
    const std::vector<float> weights{1, 1};
    const std::vector<uint32_t> samples{0, 1};
    const std::vector<uint32_t> features{0};
    const std::vector<double> classWeights{1, 1};
    const split::BinnedInputs in{bins.data(), 2, labels.data(), weights.data(), samples.data(), 2,
                                 features.data(), 1, classWeights.data(), 1 << 30, 256};
    Rows rows(1);
    const split::Fault status = split::binnedScan(in, {2.0, 0.5}, rows.view(), 1);
    EXPECT_EQ(status.kind, split::Fault::outOfMemory);
    EXPECT_GE(status.bytes, (uint64_t(1) << 30) * 256 * sizeof(double));
    EXPECT_EQ(rows.impurity[0], 0.0);
}

}  // namespace
