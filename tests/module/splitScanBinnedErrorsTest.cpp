// Every bad call of splitScanBinned gets its own error identifier and a
// message naming the argument and the offending value; none crashes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "binnedCall.h"

namespace {

using host::Array;
using binnedTest::BinnedCall;
using binnedTest::binnedModule;
using binnedTest::threeColumns;

struct ErrorCase {
    const char *name;
    std::function<void(BinnedCall &)> change;
    const char *reason;
    std::vector<const char *> fragments;  // each must appear in the message
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

Array scalar(double v) { return host::makeScalar(v); }
Array uint32Row(const std::vector<uint32_t> &v) { return host::makeMatrix<uint32_t>(1, v.size(), v); }

const ErrorCase errorCases[] = {
    {"binnedDataDouble", [](BinnedCall &c) { c.binnedData = host::makeMatrix<double>(4, 3, {}); },
     "wrongClass", {"Argument 1 (binnedData)", "uint8", "double"}},
    {"binnedDataComplex", [](BinnedCall &c) { c.binnedData = host::makeArray(mxUINT8_CLASS, {4, 3}, mxCOMPLEX); },
     "notReal", {"Argument 1 (binnedData)", "complex"}},
    {"binnedData3d", [](BinnedCall &c) { c.binnedData = host::makeArray(mxUINT8_CLASS, {4, 3, 2}); },
     "notMatrix", {"Argument 1 (binnedData)", "3 dimensions"}},
    {"labelsDouble", [](BinnedCall &c) { c.labels = host::makeMatrix<double>(4, 1, {1, 1, 2, 2}); },
     "wrongClass", {"Argument 2 (labels)", "double"}},
    {"labelsShort", [](BinnedCall &c) { c.labels = uint32Row({1, 1, 2}); },
     "wrongSize", {"Argument 2 (labels)", "at least 4", "holds 3"}},
    {"weightsDouble", [](BinnedCall &c) { c.weights = host::makeMatrix<double>(4, 1, {1, 1, 1, 1}); },
     "wrongClass", {"Argument 3 (weights)", "single", "double"}},
    {"weightsShort", [](BinnedCall &c) { c.weights = host::makeMatrix<float>(1, 1, {1}); },
     "wrongSize", {"Argument 3 (weights)", "at least 4", "holds 1"}},
    {"binCountZero", [](BinnedCall &c) { c.B = scalar(0.5); }, "badValue", {"Argument 4 (B)", "0.5"}},
    {"binCountNegative", [](BinnedCall &c) { c.B = scalar(-4); }, "badValue", {"Argument 4 (B)", "-4"}},
    {"binCountNaN", [](BinnedCall &c) { c.B = scalar(std::nan("")); }, "badValue", {"Argument 4 (B)", "nan"}},
    {"binCountInfinite", [](BinnedCall &c) { c.B = scalar(HUGE_VAL); }, "badValue", {"Argument 4 (B)", "inf"}},
    {"binCountEmpty", [](BinnedCall &c) { c.B = host::makeArray(mxDOUBLE_CLASS, {0, 0}); },
     "notScalar", {"Argument 4 (B)", "empty"}},
    {"nodeSamplesDouble", [](BinnedCall &c) { c.nodeSamples = host::makeMatrix<double>(1, 2, {0, 1}); },
     "wrongClass", {"Argument 5 (nodeSamples)", "double"}},
    {"nodeSampleBeyondRows", [](BinnedCall &c) { c.nodeSamples = uint32Row({0, 1, 4, 2}); },
     "indexOutOfRange", {"Argument 5 (nodeSamples)", "element 3 is 4", "0..3"}},
    {"nodeSampleNegative", [](BinnedCall &c) { c.nodeSamples = host::makeMatrix<int32_t>(1, 2, {0, -1}); },
     "indexOutOfRange", {"Argument 5 (nodeSamples)", "element 2 is -1"}},
    {"candidateFeaturesInt16", [](BinnedCall &c) { c.candidateFeatures = host::makeArray(mxINT16_CLASS, {1, 1}); },
     "wrongClass", {"Argument 6 (candidateFeatures)", "int16"}},
    {"candidateFeatureBeyondColumns", [](BinnedCall &c) { c.candidateFeatures = uint32Row({0, 3}); },
     "indexOutOfRange", {"Argument 6 (candidateFeatures)", "element 2 is 3", "below 3"}},
    {"classCountZero", [](BinnedCall &c) { c.K = scalar(0); }, "badValue", {"Argument 7 (K)", "0"}},
    {"classCountNaN", [](BinnedCall &c) { c.K = scalar(std::nan("")); }, "badValue", {"Argument 7 (K)", "nan"}},
    {"classCountHuge", [](BinnedCall &c) { c.K = scalar(1e10); }, "badValue", {"Argument 7 (K)", "1e+10"}},
    {"unusedNotNumeric", [](BinnedCall &c) { c.unused = host::makeArray(mxCELL_CLASS, {1, 1}); },
     "notScalar", {"Argument 8 (unused)", "cell"}},
    {"classWeightsSingle", [](BinnedCall &c) { c.classWeights = host::makeMatrix<float>(1, 2, {1, 1}); },
     "wrongClass", {"Argument 9 (classWeights)", "double", "single"}},
    {"classWeightsShort", [](BinnedCall &c) { c.classWeights = host::makeMatrix<double>(1, 1, {1}); },
     "wrongSize", {"Argument 9 (classWeights)", "at least 2", "holds 1"}},
    {"classWeightsFewerThanK", [](BinnedCall &c) { c.K = scalar(3); },
     "wrongSize", {"Argument 9 (classWeights)", "at least 3"}},
    {"threadLimitEmpty", [](BinnedCall &c) { c.threadLimit = host::makeArray(mxDOUBLE_CLASS, {1, 0}); },
     "notScalar", {"Argument 10 (threadLimit)"}},
    {"labelZero", [](BinnedCall &c) { c.labels = uint32Row({1, 0, 2, 2}); },
     "labelOutOfRange", {"Argument 2 (labels)", "element 2 (sample 1", "is 0", "1..2"}},
    {"labelAboveK", [](BinnedCall &c) { c.labels = uint32Row({1, 1, 3, 2}); },
     "labelOutOfRange", {"Argument 2 (labels)", "element 3 (sample 2", "is 3"}},
    {"labelNegative", [](BinnedCall &c) { c.labels = host::makeMatrix<int32_t>(4, 1, {1, 1, 2, -2}); },
     "labelOutOfRange", {"Argument 2 (labels)", "is -2"}},
    {"binValueAtB", [](BinnedCall &c) { c.B = scalar(3); },
     "badValue", {"Argument 1 (binnedData)", "bin value 3 for sample 3 in feature 0", "element 2", "0..2"}},
};

class BinnedErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BinnedErrors, RaisesItsError) {
    const ErrorCase &c = GetParam();
    BinnedCall call(threeColumns());
    c.change(call);
    const host::CallResult r = call.run();
    EXPECT_EQ(r.errorId, std::string("splitScanBinned:") + c.reason) << r.errorMessage;
    for (const char *fragment : c.fragments) EXPECT_NE(r.errorMessage.find(fragment), std::string::npos) << r.errorMessage;
}

INSTANTIATE_TEST_SUITE_P(SplitScanBinned, BinnedErrors, ::testing::ValuesIn(errorCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SplitScanBinnedCounts, RefusesWrongInputAndOutputCounts) {
    BinnedCall call(threeColumns());
    std::vector<const mxArray *> inputs = call.inputs();
    inputs.pop_back();
    EXPECT_EQ(binnedModule().call(3, inputs).errorId, "splitScanBinned:notEnoughInputs");
    EXPECT_EQ(binnedModule().call(3, {}).errorId, "splitScanBinned:notEnoughInputs");
    inputs = call.inputs();
    inputs.push_back(call.unused.get());
    EXPECT_EQ(binnedModule().call(3, inputs).errorId, "splitScanBinned:tooManyInputs");
    EXPECT_EQ(call.run(4).errorId, "splitScanBinned:tooManyOutputs");
}

// Bin values of B or above at list positions 1 and 4: the lower position is
// reported, with the same message for every thread limit.
TEST(SplitScanBinnedCounts, ReportsTheSameBinErrorForEveryThreadLimit) {
    oracle::BinnedProblem p;
    p.B = 8;
    p.M = 6;
    p.columns = 3;
    p.K = 2;
    p.binnedData = std::vector<uint8_t>(18, 1);
    p.binnedData[6 + 4] = 8;   // column 1, sample 4
    p.binnedData[12 + 2] = 200;  // column 2, sample 2
    p.labels = {1, 2, 1, 2, 1, 2};
    p.weights = std::vector<float>(6, 1.0f);
    p.nodeSamples = {5, 4, 3, 2, 1, 0};
    p.candidateFeatures = {0, 2, 0, 0, 1, 0, 0, 0, 0};
    p.classWeights = {1, 1};
    std::string first;
    for (double threads : {1.0, 2.0, 3.0, 8.0}) {
        const host::CallResult r = BinnedCall(p, threads).run();
        EXPECT_EQ(r.errorId, "splitScanBinned:badValue");
        EXPECT_NE(r.errorMessage.find("bin value 200 for sample 2 in feature 2"), std::string::npos) << r.errorMessage;
        if (first.empty()) first = r.errorMessage;
        EXPECT_EQ(r.errorMessage, first);
    }
}

TEST(SplitScanBinnedCounts, FailedCallsLeaveNoArrays) {
    const size_t before = standinLiveArrays();
    BinnedCall call(threeColumns());
    call.B = scalar(2);
    EXPECT_FALSE(call.run().ok());
    call.B = scalar(4);
    call.labels = uint32Row({1, 1, 5, 2});
    EXPECT_FALSE(call.run().ok());
    EXPECT_EQ(standinLiveArrays(), before + 10);  // the call's own inputs only
}

}  // namespace
