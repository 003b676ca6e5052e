// Class cumulative histograms over 8-bit bin values.
#include <gtest/gtest.h>

#include <vector>

#include "split/histogram.h"

namespace {

using Histogram = std::vector<double>;

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

TEST_P(HistogramTable, BuildsCumulativeSums) {
    const HistogramCase &c = GetParam();
    const int n = static_cast<int>(c.samples.size());
    Histogram cdf(c.B, 0.0);
    std::vector<Histogram> perClass(c.K, cdf);
    EXPECT_EQ(split::constructCdfPerClass(c.bins.data(), c.labels.data(), c.weights.data(), c.B, n,
                                          c.samples.data(), perClass),
              -1);
    EXPECT_EQ(split::constructCdf(c.bins.data(), c.weights.data(), c.B, n, c.samples.data(), cdf), -1);
    EXPECT_EQ(cdf, c.cdf);
    EXPECT_EQ(perClass, c.perClass);
}

INSTANTIATE_TEST_SUITE_P(Histogram, HistogramTable, ::testing::ValuesIn(histogramCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Histogram, LeavesElementsFromBOnUntouched) {
    const std::vector<uint8_t> bins{0, 1};
    const std::vector<uint32_t> labels{1, 1};
    const std::vector<float> weights{1, 1};
    const std::vector<uint32_t> samples{0, 1};
    Histogram cdf{0, 0, 7, 7};
    std::vector<Histogram> perClass{cdf};
    split::constructCdfPerClass(bins.data(), labels.data(), weights.data(), 2, 2, samples.data(), perClass);
    split::constructCdf(bins.data(), weights.data(), 2, 2, samples.data(), cdf);
    EXPECT_EQ(cdf, (Histogram{1, 2, 7, 7}));
    EXPECT_EQ(perClass[0], (Histogram{1, 2, 7, 7}));
}

// Histograms sized exactly B: a bin value at or above B must stop the pass
// before it writes (the sanitizer build catches a stray write).
TEST(Histogram, StopsAtTheFirstBinValueOfBOrAbove) {
    const std::vector<uint8_t> bins{0, 9, 3, 4, 255};
    const std::vector<uint32_t> labels{1, 2, 1, 2, 1};
    const std::vector<float> weights{1, 1, 1, 1, 1};
    const std::vector<uint32_t> samples{0, 2, 3, 1, 4};
    for (int B : {1, 4, 9}) {
        Histogram cdf(B, 0.0);
        std::vector<Histogram> perClass(2, cdf);
        const int expected = B == 1 ? 1 : B == 4 ? 2 : 3;
        EXPECT_EQ(split::constructCdfPerClass(bins.data(), labels.data(), weights.data(), B, 5, samples.data(),
                                              perClass),
                  expected)
            << "B = " << B;
        EXPECT_EQ(split::constructCdf(bins.data(), weights.data(), B, 5, samples.data(), cdf), expected)
            << "B = " << B;
    }
}

}  // namespace
