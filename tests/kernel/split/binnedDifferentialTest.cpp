// The optimized binned scan against the plain one, bit for bit: every build
// that runs on this processor (and the portable one in any case), every team,
// on random nodes made to hit ties, empty bins, runs of one bin, zero, NaN and
// negative weights, class weights 0 and 2, repeated samples, lists that are
// runs of rows (read eight bins at a time) or not, and bin values of B or above.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "binnedPlain.h"
#include "split/binnedBlock.h"
#include "split/binnedScan.h"
#include "split/histogram.h"

namespace {

struct Node {
    int32_t M = 0, columns = 0, K = 0, B = 0;
    std::vector<uint8_t> binnedData;
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> nodeSamples;
    std::vector<uint32_t> candidateFeatures;
    std::vector<double> classWeights;

    split::BinnedInputs inputs() const {
        return {binnedData.data(), M, labels.data(), weights.data(), nodeSamples.data(),
                static_cast<int32_t>(nodeSamples.size()), candidateFeatures.data(),
                static_cast<int32_t>(candidateFeatures.size()), classWeights.data(), K, B};
    }
};

struct Shape {
    int32_t B, K;
    bool run;         // nodeSamples lists consecutive rows
    bool faulty;      // some listed bins are B or above
};

Node randomNode(std::mt19937 &rng, Shape shape) {
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Node d;
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

    d.classWeights.resize(d.K);
    for (double &c : d.classWeights) {
        const int pick = below(4);
        c = pick == 0 ? 0.0 : pick == 1 ? 1.0 : pick == 2 ? 2.0 : std::uniform_real_distribution<double>(0.1, 3.0)(rng);
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

struct Rows {
    std::vector<double> impurity, threshold, gain;
    explicit Rows(size_t F) : impurity(F), threshold(F), gain(F) {}
    split::SplitRows view() { return {impurity.data(), threshold.data(), gain.data()}; }
};

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::vector<split::BinnedKernel> kernelsHere() {
    std::vector<split::BinnedKernel> kernels;
    for (split::BinnedKernel k : {split::BinnedKernel::portable, split::BinnedKernel::avx512})
        if (split::binnedKernelAvailable(k)) kernels.push_back(k);
    return kernels;
}

const char *nameOf(split::BinnedKernel kernel) { return kernel == split::BinnedKernel::avx512 ? "avx512" : "portable"; }

split::binned::BinnedSteps stepsOf(split::BinnedKernel kernel, int32_t K) {
#ifdef SPLIT_BINNED_X86
    if (kernel == split::BinnedKernel::avx512) return split::binned::avx512Steps(K);
#endif
    return split::binned::portableSteps(K);
}

TEST(BinnedDifferential, PortableBuildAlwaysRuns) {
    EXPECT_TRUE(split::binnedKernelAvailable(split::BinnedKernel::portable));
    EXPECT_TRUE(split::binnedKernelAvailable(split::fastestBinnedKernel()));
}

// Outputs and status of every build and team equal the plain scan's; after a
// bin value of B or above, the same lowest feature and list position, and the
// same features left written before it.
TEST(BinnedDifferential, EveryBuildMatchesThePlainScan) {
    const std::vector<split::BinnedKernel> kernels = kernelsHere();
    std::mt19937 rng(20240611u);
    int improved = 0, faults = 0, cases = 0;
    for (int32_t B : {1, 2, 3, 7, 8, 9, 16, 17, 64, 200, 255, 256, 257, 300}) {
        for (int32_t K = 1; K <= 12; ++K) {
            for (int variant = 0; variant < 4; ++variant) {
                const Shape shape{B, K, variant % 2 == 0, variant >= 2};
                const Node d = randomNode(rng, shape);
                const split::BinnedInputs in = d.inputs();
                split::BinnedNode node{};
                ASSERT_EQ(split::binnedNodeTotals(in, node).kind, split::Fault::none);
                const size_t F = d.candidateFeatures.size();
                // One thread, and in turn 2, 3 or 8 (regions of more threads
                // than cores are slow on a busy machine).
                const int otherTeam = (B + K + variant) % 3 == 0 ? 2 : (B + K + variant) % 3 == 1 ? 3 : 8;
                for (int team : {1, otherTeam}) {
                    Rows plain(F);
                    const split::Fault expected = binnedPlain::binnedScan(in, node, plain.view(), team);
                    for (split::BinnedKernel kernel : kernels) {
                        Rows rows(F);
                        const split::Fault status = split::binnedScanWith(kernel, in, node, rows.view(), team);
                        const std::string where = std::string(nameOf(kernel)) + " B " + std::to_string(B) + " K " +
                                                  std::to_string(K) + " variant " + std::to_string(variant) +
                                                  " team " + std::to_string(team);
                        ASSERT_EQ(status.kind, expected.kind) << where;
                        ASSERT_EQ(status.index, expected.index) << where;
                        ASSERT_EQ(status.listIndex, expected.listIndex) << where;
                        ASSERT_TRUE(sameBits(rows.impurity, plain.impurity)) << where;
                        ASSERT_TRUE(sameBits(rows.threshold, plain.threshold)) << where;
                        ASSERT_TRUE(sameBits(rows.gain, plain.gain)) << where;
                    }
                    ++cases;
                    faults += expected.kind == split::Fault::binOutOfRange;
                    for (double g : plain.gain) improved += g != 0.0;
                }
            }
        }
    }
    // The random nodes do find splits and do hold faults.
    EXPECT_GT(improved, 2000);
    EXPECT_GT(faults, 100);
    EXPECT_LT(faults, cases / 2);
}

// The cumulative histograms that each build's steps leave, one pass for two
// features and for one, against constructCdf and constructCdfPerClass bin for
// bin: any change in the order of additions shows here, where the scan's
// outputs see only a few of the sums.
TEST(BinnedDifferential, HistogramsMatchTheHistogramRoutines) {
    namespace binned = split::binned;
    std::mt19937 rng(99);
    int compared = 0;
    for (split::BinnedKernel kernel : kernelsHere()) {
        for (int32_t B : {1, 5, 64, 256}) {
            for (int32_t K : {1, 2, 3, 4, 9}) {
                for (int variant = 0; variant < 6; ++variant) {
                    const Node d = randomNode(rng, {B, K, variant % 2 == 0, false});
                    const split::BinnedInputs in = d.inputs();
                    const binned::BinnedSteps steps = stepsOf(kernel, K);
                    const int32_t stride = binned::rowStride(B);
                    std::vector<binned::PackedSample> packed(d.nodeSamples.size());
                    const binned::BinnedJob job{d.binnedData.data(), d.M, d.candidateFeatures.data(),
                                                d.nodeSamples.data(), in.n,
                                                binned::packSamples(in, steps.layout, stride, packed.data()),
                                                packed.data(), d.classWeights.data(), K, B, stride, 1.0, 0.5,
                                                steps.layout};
                    if (variant % 2 == 0) {
                        ASSERT_GE(job.firstSample, 0);
                    }
                    const size_t slot = binned::featureDoubles(steps.layout, K, B);
                    std::vector<double> scratch(binned::threadDoubles(steps.layout, K, B) + 8);
                    double *aligned = scratch.data();
                    while (reinterpret_cast<uintptr_t>(aligned) % 64 != 0) ++aligned;
                    double *tables[binned::featuresPerPass] = {aligned, aligned + slot};
                    double *impurity = aligned + binned::featuresPerPass * slot;
                    std::vector<double> row(3);
                    const split::SplitRows rows{&row[0], &row[1], &row[2]};

                    for (int count = 1; count <= binned::featuresPerPass; ++count) {
                        std::fill(scratch.begin(), scratch.end(), 0.0);
                        const uint8_t *columns[binned::featuresPerPass];
                        for (int g = 0; g < count; ++g)
                            columns[g] = &d.binnedData[static_cast<size_t>(d.M) * ((g + variant) % d.columns)];
                        uint8_t highest[binned::featuresPerPass];
                        steps.fill(job, count, columns, tables, highest);
                        for (int g = 0; g < count; ++g) {
                            steps.finish(job, tables[g], impurity, 0, rows);
                            const double *table = binned::rowTable(steps.layout, tables[g]);
                            std::vector<double> cdf(B, 0.0);
                            std::vector<std::vector<double>> perClass(K, cdf);
                            split::constructCdf(columns[g], d.weights.data(), B, in.n, d.nodeSamples.data(), cdf);
                            split::constructCdfPerClass(columns[g], d.labels.data(), d.weights.data(), B, in.n,
                                                        d.nodeSamples.data(), perClass);
                            const uint8_t top = *std::max_element(columns[g], columns[g] + d.M);
                            ASSERT_LE(highest[g], top);
                            ASSERT_EQ(0, std::memcmp(table, cdf.data(), B * sizeof(double)))
                                << nameOf(kernel) << " B " << B << " K " << K << " variant " << variant;
                            for (int32_t k = 0; k < K; ++k)
                                ASSERT_EQ(0, std::memcmp(table + (k + 1) * stride, perClass[k].data(), B * sizeof(double)))
                                    << nameOf(kernel) << " class " << k << " B " << B << " K " << K << " variant " << variant;
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 200);
}

// Runs of rows are read eight bins at a time: every length from 1 to 40 and
// a start off any alignment, with the single bin of B or above at each place
// of the list in turn.
TEST(BinnedDifferential, RunsOfRowsInWholeEightsAndTails) {
    const std::vector<split::BinnedKernel> kernels = kernelsHere();
    std::mt19937 rng(7);
    for (int32_t K : {2, 5}) {
        for (int32_t n = 1; n <= 40; ++n) {
            Node d;
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
                Node e = d;
                if (bad >= 0) e.binnedData[static_cast<size_t>(e.M) + 3 + bad] = 6;  // column 1
                const split::BinnedInputs in = e.inputs();
                split::BinnedNode node{};
                ASSERT_EQ(split::binnedNodeTotals(in, node).kind, split::Fault::none);
                Rows plain(3);
                const split::Fault expected = binnedPlain::binnedScan(in, node, plain.view(), 1);
                ASSERT_EQ(expected.listIndex, bad);
                for (split::BinnedKernel kernel : kernels) {
                    Rows rows(3);
                    const split::Fault status = split::binnedScanWith(kernel, in, node, rows.view(), 1);
                    ASSERT_EQ(status.index, expected.index) << nameOf(kernel) << " n " << n << " bad " << bad;
                    ASSERT_EQ(status.listIndex, bad) << nameOf(kernel) << " n " << n;
                    ASSERT_TRUE(sameBits(rows.impurity, plain.impurity)) << nameOf(kernel) << " n " << n;
                    ASSERT_TRUE(sameBits(rows.threshold, plain.threshold)) << nameOf(kernel) << " n " << n;
                    ASSERT_TRUE(sameBits(rows.gain, plain.gain)) << nameOf(kernel) << " n " << n;
                }
            }
        }
    }
}

}  // namespace
