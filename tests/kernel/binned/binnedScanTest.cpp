// The binned split search: worked examples of the reference (histograms, node
// totals, the scan) that every version of the kernel must also give, then
// every version against the reference bit for bit on random nodes and teams,
// down to the cumulative histograms, and the faults both report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binned/binnedScan.h"
#include "binned/binnedVersions.h"
#include "binned/reference.h"
#include "tests/kernel/versionsChecked.h"
#include "tests/support.h"

namespace {

namespace reference = split::binnedReference;
using support::BinnedNode;
using support::BinnedRows;
using Histogram = std::vector<double>;

std::vector<cpu::Isa> versionsHere() { return support::versionsHere("binned", split::binnedVersions); }

struct HistogramCase {
    const char *name;
    std::vector<uint8_t> bins;  // per sample
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> samples;
    int B;
    int K;
    Histogram cdf;
    std::vector<Histogram> perClass;
};

const HistogramCase histogramCases[] = {
    {"oneSamplePerBin", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {0, 1, 2, 3}, 4, 2,
     {1, 2, 3, 4}, {{1, 2, 2, 2}, {0, 0, 1, 2}}},
    {"noSamples", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {}, 4, 2,
     {0, 0, 0, 0}, {{0, 0, 0, 0}, {0, 0, 0, 0}}},
    {"oneBinHoldsTheTotal", {0, 0, 0, 0}, {1, 2, 1, 2}, {1, 2, 3, 4}, {0, 1, 2, 3}, 1, 2,
     {10}, {{4}, {6}}},
    {"allInBinZero", {0, 0, 0}, {1, 1, 2}, {0.5f, 1, 2}, {0, 1, 2}, 3, 2,
     {3.5, 3.5, 3.5}, {{1.5, 1.5, 1.5}, {2, 2, 2}}},
    {"classWithoutSamplesStaysZero", {1, 2}, {1, 3}, {1, 1}, {0, 1}, 3, 3,
     {0, 1, 2}, {{0, 1, 1}, {0, 0, 0}, {0, 0, 1}}},
    {"zeroWeightChangesNothing", {0, 1, 2}, {1, 2, 2}, {1, 0, 1}, {0, 1, 2}, 3, 2,
     {1, 1, 2}, {{1, 1, 1}, {0, 0, 1}}},
    {"listedTwiceCountsTwice", {0, 2, 1}, {1, 2, 1}, {1, 2, 4}, {1, 0, 1}, 3, 2,
     {1, 1, 5}, {{1, 1, 1}, {0, 0, 4}}},
    {"unlistedSamplesIgnored", {3, 0, 1}, {2, 1, 2}, {9, 1, 1}, {2, 1}, 4, 2,
     {1, 2, 2, 2}, {{1, 1, 1, 1}, {0, 1, 1, 1}}},
};

void PrintTo(const HistogramCase &c, std::ostream *os) { *os << c.name; }

class HistogramTable : public ::testing::TestWithParam<HistogramCase> {};

// One element past B holds 7, which neither pass may touch.
TEST_P(HistogramTable, BuildsCumulativeSums) {
    const HistogramCase &c = GetParam();
    const int n = static_cast<int>(c.samples.size());
    Histogram cdf(c.B + 1, 0.0);
    cdf[c.B] = 7;
    std::vector<Histogram> perClass(c.K, cdf);
    EXPECT_EQ(reference::constructCdfPerClass(c.bins.data(), c.labels.data(), c.weights.data(), c.B, n,
                                              c.samples.data(), perClass),
              -1);
    EXPECT_EQ(reference::constructCdf(c.bins.data(), c.weights.data(), c.B, n, c.samples.data(), cdf), -1);
    auto withSeven = [](Histogram h) {
        h.push_back(7);
        return h;
    };
    EXPECT_EQ(cdf, withSeven(c.cdf));
    for (int k = 0; k < c.K; ++k) EXPECT_EQ(perClass[k], withSeven(c.perClass[k])) << "class " << k;
}

INSTANTIATE_TEST_SUITE_P(BinnedReference, HistogramTable, ::testing::ValuesIn(histogramCases),
                         [](const auto &info) { return std::string(info.param.name); });

// One feature over samples 0..3 (listed as given), K = 2.
struct ScanCase {
    const char *name;
    std::vector<uint8_t> bins;
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<double> classWeights;
    std::vector<uint32_t> samples;
    int B;
    double W, G0;
    double impurity, threshold, gain;
};

const std::vector<uint32_t> all{0, 1, 2, 3};
const ScanCase scanCases[] = {
    {"separatesAtBinOne", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 4, 4, 0.5, 0, 1, 0.5},
    {"emptyRightSidesPassedOver", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 8, 4, 0.5, 0, 1, 0.5},
    {"binCountAbove256ScansWhat256Does", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 2147483647, 4,
     0.5, 0, 1, 0.5},
    // Samples in bin 255 lie inside every B of 256 and above.
    {"topBinWith256Bins", {0, 1, 255, 255}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 256, 4, 0.5, 0, 1, 0.5},
    {"topBinWith300Bins", {0, 255, 1, 255}, {1, 2, 1, 2}, {1, 1, 1, 1}, {1, 1}, all, 300, 4, 0.5, 0, 1, 0.5},
    {"equalCandidatesLowestWins", {0, 1, 2, 3}, {1, 2, 2, 1}, {1, 1, 1, 1}, {1, 1}, all, 4, 4, 0.5,
     0.3333333333333333, 0, 0.16666666666666669},
    {"gapBetweenBinsLowestWins", {0, 0, 5, 5}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 8, 4, 0.5, 0, 0, 0.5},
    {"allInOneBin", {2, 2, 2, 2}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 4, 4, 0.5, 0, 0, 0},
    {"zeroWeightLeftSidePassedOver", {0, 1, 2, 3}, {1, 1, 2, 2}, {0, 1, 1, 1}, {1, 1}, all, 4, 3,
     0.4444444444444444, 0, 1, 0.4444444444444444},
    {"listedSamplesOnly", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, {1, 2, 3}, 4, 3, 0.4444444444444444,
     0, 1, 0.4444444444444444},
    // Masses 1 and 4 over W = 5: each class's term divided by W twice gives
    // 0.31999999999999995, where 1 - (S / W) / W would give 0.32000000000000006.
    {"listedTwiceCountsTwice", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, {0, 2, 3, 2, 3}, 4, 5,
     0.31999999999999995, 0, 0, 0.31999999999999995},
    {"classWeightsTwoAndOne", {0, 1, 2, 3}, {1, 1, 2, 2}, {1, 1, 1, 1}, {2, 1}, all, 4, 4, -0.25, -1.5, 1, 1.25},
    {"pureNodeNeverImproves", {0, 1, 2, 3}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1}, all, 4, 4, 0, 0, 0, 0},
    {"oneBinNoCandidate", {0, 0, 0, 0}, {1, 1, 2, 2}, {1, 1, 1, 1}, {1, 1}, all, 1, 4, 0.5, 0, 0, 0},
};

void PrintTo(const ScanCase &c, std::ostream *os) { *os << c.name; }

class ScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, ReferenceAndEveryVersionFindTheLowestSplit) {
    const ScanCase &c = GetParam();
    BinnedNode d;
    d.M = 4;
    d.columns = 1;
    d.K = 2;
    d.B = c.B;
    d.binnedData = c.bins;
    d.labels = c.labels;
    d.weights = c.weights;
    d.nodeSamples = c.samples;
    d.candidateFeatures = {0};
    d.classWeights = c.classWeights;
    split::BinnedJob job = support::binnedJob(d);
    ASSERT_EQ(split::binnedNodeTotals(job).kind, split::Fault::Kind::none);
    EXPECT_EQ(job.W, c.W);
    EXPECT_EQ(job.G0, c.G0);
    split::BinnedJob plain = support::binnedJob(d);
    std::vector<double> classMass(d.K, 0.0);
    reference::nodeTotals(plain, classMass.data());
    EXPECT_EQ(plain.W, c.W);
    EXPECT_EQ(plain.G0, c.G0);
    auto expect = [&](const char *who, const split::Fault &fault, const BinnedRows &rows) {
        EXPECT_EQ(fault.kind, split::Fault::Kind::none) << who;
        EXPECT_EQ(rows.impurity[0], c.impurity) << who;
        EXPECT_EQ(rows.threshold[0], c.threshold) << who;
        EXPECT_EQ(rows.gain[0], c.gain) << who;
    };
    BinnedRows rows(1);
    expect("reference", reference::binnedScan(plain, rows.view(), 1), rows);
    for (cpu::Isa isa : versionsHere()) {
        for (split::BinnedTables tables : split::binnedTableKinds) {
            BinnedRows fast(1);
            expect(cpu::name(isa), split::binnedScanWith(isa, tables, job, fast.view(), 1), fast);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BinnedScan, ScanTable, ::testing::ValuesIn(scanCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Compares every version, with either kind of tables, with the reference on
// one node and team: the same fault (kind, position, list position) and the
// same bits in every row, so after a fault the same features written before
// it.
void expectReferenceBits(const BinnedNode &d, int team, const std::string &where, int *improved = nullptr,
                         int *faults = nullptr) {
    split::BinnedJob job = support::binnedJob(d);
    ASSERT_EQ(split::binnedNodeTotals(job).kind, split::Fault::Kind::none) << where;
    split::BinnedJob plain = support::binnedJob(d);
    std::vector<double> classMass(d.K, 0.0);
    reference::nodeTotals(plain, classMass.data());
    ASSERT_TRUE(support::sameBits(std::vector<double>{job.W, job.G0}, std::vector<double>{plain.W, plain.G0}))
        << where;
    BinnedRows expected(d.candidateFeatures.size());
    const split::Fault fault = reference::binnedScan(plain, expected.view(), team);
    for (cpu::Isa isa : versionsHere()) {
        for (split::BinnedTables tables : split::binnedTableKinds) {
            BinnedRows rows(d.candidateFeatures.size());
            const split::Fault got = split::binnedScanWith(isa, tables, job, rows.view(), team);
            const std::string at = std::string(cpu::name(isa)) +
                                   (tables == split::BinnedTables::allBins ? " all bins " : " occupied bins ") +
                                   where + " team " + std::to_string(team);
            ASSERT_EQ(got.kind, fault.kind) << at;
            ASSERT_EQ(got.index, fault.index) << at;
            ASSERT_EQ(got.listIndex, fault.listIndex) << at;
            ASSERT_TRUE(rows.sameBits(expected)) << at;
        }
    }
    if (faults) *faults += fault.kind == split::Fault::Kind::binOutOfRange;
    if (improved)
        for (double g : expected.gain) *improved += g != 0.0;
}

// Every K from the lane layout's (K <= 3) into the row layout's, bin counts
// around whole cache lines and candidate blocks, and above 256.
TEST(BinnedScan, EveryVersionGivesTheReferenceBits) {
    std::mt19937 rng(20240611u);
    int improved = 0, faults = 0, cases = 0;
    for (int32_t B : {1, 2, 3, 7, 8, 9, 16, 17, 64, 200, 255, 256, 257, 1000}) {
        for (int32_t K = 1; K <= 12; ++K) {
            for (int variant = 0; variant < 4; ++variant) {
                const BinnedNode d = support::randomBinnedNode(rng, {B, K, variant % 2 == 0, variant >= 2});
                const std::string where =
                    "B " + std::to_string(B) + " K " + std::to_string(K) + " variant " + std::to_string(variant);
                // One thread, and in turn 2, 3 or 8 (regions of more threads
                // than cores are slow on a busy machine).
                const int otherTeam = (B + K + variant) % 3 == 0 ? 2 : (B + K + variant) % 3 == 1 ? 3 : 8;
                for (int team : {1, otherTeam}) {
                    expectReferenceBits(d, team, where, &improved, &faults);
                    ++cases;
                }
            }
        }
    }
    // The random nodes do find splits and do hold faults.
    EXPECT_GT(improved, 2000);
    EXPECT_GT(faults, 100);
    EXPECT_LT(faults, cases / 2);
}

// Occupied-bin tables at their edges: every one of the 256 bins occupied by
// a list of occupiedBinsLimit samples (and one more, which takes all-bin
// tables), and a single sample; B = 256 and above.
TEST(BinnedScan, OccupiedBinsAtTheirLimits) {
    std::mt19937 rng(256);
    for (int32_t n : {split::occupiedBinsLimit, split::occupiedBinsLimit + 1, 1}) {
        for (int32_t B : {256, 300}) {
            BinnedNode d;
            d.M = n;
            d.columns = 2;
            d.K = 3;
            d.B = B;
            for (int32_t f = 0; f < d.columns; ++f)
                for (int32_t s = 0; s < n; ++s) d.binnedData.push_back(static_cast<uint8_t>((s * (f + 1) * 77) % 256));
            for (int32_t s = 0; s < n; ++s) {
                d.labels.push_back(1 + rng() % 3);
                d.weights.push_back(static_cast<float>(1 + rng() % 5));
                d.nodeSamples.push_back(static_cast<uint32_t>((s * 5) % n));
            }
            d.candidateFeatures = {0, 1};
            d.classWeights = {1, 0.5, 2};
            expectReferenceBits(d, 1, "n " + std::to_string(n) + " B " + std::to_string(B));
        }
    }
}

// Small nodes, which the x86-64 vector versions scan a vector of features at a time:
// every list length up to 33 (around its sorting networks of 16 and 32),
// class counts it keeps in registers and others, groups of features left
// partial, with the random nodes' weights, class weights and faults.
TEST(BinnedScan, SmallNodesOfEveryLength) {
    std::mt19937 rng(32);
    for (int32_t n = 1; n <= 33; ++n) {
        for (int32_t K : {1, 2, 3, 5}) {
            for (int32_t B : {3, 16, 256, 300}) {
                BinnedNode d = support::randomBinnedNode(rng, {B, K, (n + K) % 2 == 0, B < 256 && n % 3 == 0});
                while (static_cast<int32_t>(d.nodeSamples.size()) < n) d.nodeSamples.push_back(rng() % d.M);
                d.nodeSamples.resize(n);
                expectReferenceBits(d, 1, "n " + std::to_string(n) + " K " + std::to_string(K) + " B " +
                                              std::to_string(B));
            }
        }
    }
}

// Small nodes whose weights and class weights let every candidate share one
// bound (weights of 1 to 3, within the plain ranges of impurityBounds.h):
// class counts that tie in exact arithmetic and differ by a rounding in the
// reference's, where only a bound as wide as the approximation's error keeps
// the lowest bin in the pick. Every feature its own bin per sample, or a few.
TEST(BinnedScan, SmallNodesOfTiedSplits) {
    std::mt19937 rng(16);
    for (int round = 0; round < 60; ++round) {
        for (int32_t n : {6, 12, 16, 24, 32}) {
            BinnedNode d;
            d.M = n;
            d.columns = 9;
            d.K = 2 + round % 2;
            d.B = 256;
            for (int32_t f = 0; f < d.columns; ++f)
                for (int32_t s = 0; s < n; ++s)
                    d.binnedData.push_back(static_cast<uint8_t>(f % 3 == 0 ? rng() % 4 : rng() % 256));
            for (int32_t s = 0; s < n; ++s) {
                d.labels.push_back(1 + rng() % d.K);
                d.weights.push_back(static_cast<float>(round % 3 == 0 ? 1 : 1 + rng() % 3));
                d.nodeSamples.push_back(static_cast<uint32_t>(s));
            }
            for (int32_t f = 0; f < d.columns; ++f) d.candidateFeatures.push_back(f);
            d.classWeights = round % 4 < 2 ? std::vector<double>{1, 1, 1} : std::vector<double>{1, 2, 0.5};
            expectReferenceBits(d, 1, "round " + std::to_string(round) + " n " + std::to_string(n));
        }
    }
}

// Weights at the ends of single precision, whose side sums leave its range
// (subnormal, or beyond the largest float): a vector version that bounds
// candidates through a single-precision reciprocal must evaluate those
// exactly. Small nodes, occupied bins and all bins; labels in runs, so that
// thresholds along the list win.
TEST(BinnedScan, WeightsAtTheEndsOfSinglePrecision) {
    std::mt19937 rng(149);
    for (int scale : {-149, -140, -126, 100, 125, 127}) {
        for (int32_t n : {24, 100, 400}) {
            for (int32_t K : {2, 4}) {
                BinnedNode d;
                d.M = n;
                d.columns = 3;
                d.K = K;
                d.B = 64;
                // Bins along the list, the same with noise, and any.
                for (int32_t f = 0; f < d.columns; ++f)
                    for (int32_t s = 0; s < n; ++s)
                        d.binnedData.push_back(static_cast<uint8_t>(
                            f == 2 ? rng() % 64 : (s * 64 / n + (f == 1 ? rng() % 8 : 0)) % 64));
                for (int32_t s = 0; s < n; ++s) {
                    d.labels.push_back(1 + (s * K / n + (rng() % 5 == 0)) % K);
                    d.weights.push_back(std::ldexp(static_cast<float>(1 + rng() % 3), scale));
                    d.nodeSamples.push_back(static_cast<uint32_t>(s));
                }
                d.candidateFeatures = {0, 1, 2};
                d.classWeights.assign(K, 1.0);
                expectReferenceBits(d, 1, "scale " + std::to_string(scale) + " n " + std::to_string(n) + " K " +
                                              std::to_string(K));
            }
        }
    }
}

// Runs of rows are read eight bins at a time: every length from 1 to 40 from
// a start off any alignment, with the single bin of B or above at each place
// of the list in turn.
TEST(BinnedScan, RunsOfRowsInWholeEightsAndTails) {
    std::mt19937 rng(7);
    for (int32_t K : {2, 5}) {
        for (int32_t n = 1; n <= 40; ++n) {
            BinnedNode d;
            d.M = n + 5;
            d.columns = 2;
            d.K = K;
            d.B = 6;
            d.binnedData.resize(static_cast<size_t>(d.M) * d.columns);
            for (uint8_t &v : d.binnedData) v = static_cast<uint8_t>(rng() % 6);
            for (int32_t s = 0; s < d.M; ++s) {
                d.labels.push_back(1 + rng() % K);
                d.weights.push_back(static_cast<float>(1 + rng() % 4));
            }
            for (int32_t i = 0; i < n; ++i) d.nodeSamples.push_back(static_cast<uint32_t>(3 + i));
            d.candidateFeatures = {1, 0, 1};
            d.classWeights.assign(K, 1.0);
            for (int32_t bad = -1; bad < n; ++bad) {
                BinnedNode e = d;
                if (bad >= 0) e.binnedData[static_cast<size_t>(e.M) + 3 + bad] = 6;  // column 1
                expectReferenceBits(e, 1, "K " + std::to_string(K) + " n " + std::to_string(n) + " bad " +
                                              std::to_string(bad));
            }
        }
    }
}

// The cumulative histograms that each version's steps leave, for one
// feature and for two filled in one pass, against the reference's routines
// bin for bin: any change in the order of additions shows here, where the
// scan's outputs see only a few of the sums.
TEST(BinnedScan, EveryVersionsHistogramsAreTheReferences) {
    namespace binned = split::binned;
    std::mt19937 rng(99);
    int compared = 0;
    for (cpu::Isa isa : versionsHere()) {
        for (int32_t B : {1, 5, 64, 256}) {
            for (int32_t K : {1, 2, 3, 4, 9}) {
                for (int variant = 0; variant < 6; ++variant) {
                    const BinnedNode d = support::randomBinnedNode(rng, {B, K, variant % 2 == 0, false});
                    const binned::ScanVersion version = binned::versionFor(isa, K);
                    split::BinnedJob job = support::binnedJob(d);
                    std::vector<binned::PackedSample> packed(d.nodeSamples.size());
                    binned::prepareJob(job, version.layout, B, packed.data());
                    ASSERT_TRUE(variant % 2 != 0 || job.firstSample >= 0);  // runs are read as such
                    const size_t slot = binned::featureDoubles(version.layout, K, B);
                    std::vector<double> scratch(binned::threadDoubles(version.layout, K, B) + 8);
                    double *aligned = binned::alignedScratch(scratch.data());
                    double *tables[binned::featuresPerPass] = {aligned, aligned + slot};
                    std::vector<double> row(3 * binned::featuresPerPass);
                    const split::SplitRows rows{&row[0], &row[2], &row[4]};

                    for (int count = 1; count <= binned::featuresPerPass; ++count) {
                        std::fill(scratch.begin(), scratch.end(), 0.0);
                        const uint8_t *columns[binned::featuresPerPass];
                        for (int g = 0; g < count; ++g)
                            columns[g] = &d.binnedData[static_cast<size_t>(d.M) * ((g + variant) % d.columns)];
                        uint8_t highest[binned::featuresPerPass];
                        version.fill(job, count, columns, tables, highest);
                        version.finish(job, {B, nullptr}, count, tables, aligned + binned::featuresPerPass * slot, 0,
                                     rows);
                        for (int g = 0; g < count; ++g) {
                            const double *table = binned::rowTable(version.layout, tables[g]);
                            reference::Histograms h(K, B);
                            reference::constructCdf(columns[g], job.weights, B, job.n, job.nodeSamples, h.cdf);
                            reference::constructCdfPerClass(columns[g], job.labels, job.weights, B, job.n,
                                                            job.nodeSamples, h.cdfPerClass);
                            const std::string at = std::string(cpu::name(isa)) + " B " + std::to_string(B) +
                                                   " K " + std::to_string(K) + " variant " + std::to_string(variant);
                            ASSERT_LE(highest[g], *std::max_element(columns[g], columns[g] + d.M)) << at;
                            ASSERT_TRUE(support::sameBits(Histogram(table, table + B), h.cdf)) << at;
                            for (int32_t k = 0; k < K; ++k) {
                                const double *classRow = table + (k + 1) * job.stride;
                                ASSERT_TRUE(support::sameBits(Histogram(classRow, classRow + B), h.cdfPerClass[k]))
                                    << at << " class " << k;
                            }
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 200);
}

// Features at positions 3 and 6 hold a bin value of B or above: whatever the
// team, the reference and every version report the lowest position with its
// first offending sample in list order.
TEST(BinnedScan, ReportsTheLowestFeatureWithABinOfBOrAbove) {
    BinnedNode d;
    d.M = 5;
    d.columns = 3;
    d.K = 2;
    d.B = 4;
    d.binnedData = {0, 1, 2, 3, 0, /**/ 0, 1, 7, 3, 5, /**/ 0, 9, 0, 0, 0};
    d.labels = {1, 2, 1, 2, 1};
    d.weights = {1, 1, 1, 1, 1};
    d.nodeSamples = {0, 4, 3, 2, 1};
    d.candidateFeatures = {0, 0, 0, 1, 0, 0, 2, 0};
    d.classWeights = {1, 1};
    split::BinnedJob job = support::binnedJob(d);
    ASSERT_EQ(split::binnedNodeTotals(job).kind, split::Fault::Kind::none);
    for (int team : {1, 2, 3, 4, 8}) {
        BinnedRows rows(d.candidateFeatures.size());
        const split::Fault fault = reference::binnedScan(job, rows.view(), team);
        EXPECT_EQ(fault.kind, split::Fault::Kind::binOutOfRange) << "team " << team;
        EXPECT_EQ(fault.index, 3) << "team " << team;
        EXPECT_EQ(fault.listIndex, 1) << "team " << team;  // sample 4, bin 5
        expectReferenceBits(d, team, "lowest fault");
    }
}

// The team never exceeds the caller's bound (nor drops below 1, whatever
// the bound), and a node too small to gain from a second thread runs on
// one. Holds for any cut-over: the smallest node that gets two threads is
// found, not assumed.
TEST(BinnedScan, TeamStaysWithinItsBounds) {
    split::BinnedJob job{};
    job.F = 32;
    int32_t cutOver = 0;  // the fewest listed samples that take two threads
    for (int32_t n = 1; n <= 1 << 20 && cutOver == 0; n *= 2) {
        job.n = n;
        if (split::binnedTeam(job, 2) == 2) cutOver = n;
    }
    ASSERT_GT(cutOver, 1) << "no node is too small for two threads";
    for (int32_t n : {0, 1, cutOver / 2, cutOver - 1, cutOver, 4 * cutOver, 1 << 24}) {
        job.n = n;
        for (int bound : {-3, 0, 1, 2, 3, 8, 64}) {
            const int team = split::binnedTeam(job, bound);
            EXPECT_GE(team, 1) << n << " within " << bound;
            EXPECT_LE(team, std::max(bound, 1)) << n << " within " << bound;
            if (n < cutOver) {
                EXPECT_EQ(team, 1) << n << " within " << bound;
            }
        }
    }
    job.n = 1 << 24;
    EXPECT_EQ(split::binnedTeam(job, 8), 8) << "a large node takes the whole bound";
}

// Histograms for 2^30 classes cannot fit in memory: refused by the check
// that comes before any scratch.
TEST(BinnedScan, RefusesScratchBeyondMemory) {
    const std::vector<uint8_t> bins{0, 1};
    const std::vector<uint32_t> labels{1, 2};
    const std::vector<float> weights{1, 1};
    const std::vector<uint32_t> samples{0, 1};
    const std::vector<uint32_t> features{0};
    const std::vector<double> classWeights{1, 1};
    split::BinnedJob job{};
    job.binnedData = bins.data();
    job.M = 2;
    job.labels = labels.data();
    job.weights = weights.data();
    job.nodeSamples = samples.data();
    job.n = 2;
    job.candidateFeatures = features.data();
    job.F = 1;
    job.classWeights = classWeights.data();
    job.K = 1 << 30;
    job.B = 256;
    const split::Fault fault = split::binnedScratchCheck(job, 1);
    EXPECT_EQ(fault.kind, split::Fault::Kind::outOfMemory);
    EXPECT_GE(fault.bytes, (uint64_t(1) << 30) * 2 * sizeof(double));  // two bins per class at least
    EXPECT_GT(fault.available, 0u);
    EXPECT_LT(fault.available, fault.bytes);
    job.K = 2;
    EXPECT_EQ(split::binnedScratchCheck(job, 1).kind, split::Fault::Kind::none);
}

}  // namespace
