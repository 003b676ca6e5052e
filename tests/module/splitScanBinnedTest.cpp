// splitScanBinned loaded through the stand-in host: exports, shapes, the
// worked examples, scalar conversions and bit-identical results whatever the
// thread limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "binnedCall.h"

namespace {

using host::Array;
using binnedTest::BinnedCall;
using binnedTest::binnedModule;
using binnedTest::threeColumns;

std::vector<double> row(const host::CallResult &r, size_t slot) { return host::values<double>(r.outputs[slot].get()); }

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

void expectRows(const host::CallResult &r, const oracle::BinnedResult &expected) {
    ASSERT_TRUE(r.ok()) << r.errorId << ": " << r.errorMessage;
    ASSERT_EQ(r.outputs.size(), 3u);
    EXPECT_TRUE(sameBits(row(r, 0), expected.impurity));
    EXPECT_TRUE(sameBits(row(r, 1), expected.threshold));
    EXPECT_TRUE(sameBits(row(r, 2), expected.gain));
}

TEST(SplitScanBinned, ExportsEntryAndApiVersion) {
    EXPECT_NE(binnedModule().symbol("mexFunction"), nullptr);
    using VersionFn = void (*)(uint32_t *, uint32_t *);
    auto version = reinterpret_cast<VersionFn>(binnedModule().symbol("mexfilerequiredapiversion"));
    ASSERT_NE(version, nullptr);
    uint32_t release = 0, arrays = 0;
    version(&release, &arrays);
    EXPECT_EQ(release, 0x0002018Bu);
    EXPECT_EQ(arrays, 0x07300000u);
    EXPECT_EQ(binnedModule().symbol("_ZN5split10binnedScanERKNS_12BinnedInputsERKNS_10BinnedNodeERKNS_9SplitRowsEi"), nullptr);
}

// Columns 2, 0, 1 and 2 again fill elements 0..3 in that order.
TEST(SplitScanBinned, ReturnsThreeDoubleRowsInListOrder) {
    oracle::BinnedProblem p = threeColumns();
    p.candidateFeatures = {2, 0, 1, 2};
    const host::CallResult r = BinnedCall(p).run();
    expectRows(r, {{0, 0, 0, 0}, {0, 1, 1, 0}, {0.5, 0.5, 0.5, 0.5}});
    for (const Array &out : r.outputs) {
        EXPECT_EQ(mxGetClassID(out.get()), mxDOUBLE_CLASS);
        EXPECT_EQ(mxGetM(out.get()), 1u);
        EXPECT_EQ(mxGetN(out.get()), 4u);
    }
}

TEST(SplitScanBinned, FirstOutputFilledWhenNoneRequested) {
    const host::CallResult r = BinnedCall(threeColumns()).run(0);
    ASSERT_TRUE(r.ok()) << r.errorMessage;
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(row(r, 0), (std::vector<double>{0, 0, 0}));
}

// Listing sample 0 twice is the same as giving it twice the weight.
TEST(SplitScanBinned, SampleListedTwiceCountsTwice) {
    oracle::BinnedProblem once = threeColumns();
    once.classWeights = {1, 3};
    oracle::BinnedProblem twice = once;
    twice.nodeSamples = {0, 0, 1, 2, 3};
    oracle::BinnedProblem doubled = once;
    doubled.weights = {2, 1, 1, 1};
    const host::CallResult r = BinnedCall(twice).run();
    expectRows(r, oracle::plainBinnedScan(twice));
    expectRows(BinnedCall(doubled).run(), {row(r, 0), row(r, 1), row(r, 2)});
    EXPECT_NE(row(r, 2), row(BinnedCall(once).run(), 2));
}

TEST(SplitScanBinned, NoFeaturesGivesEmptyRows) {
    oracle::BinnedProblem p = threeColumns();
    p.candidateFeatures = {};
    const host::CallResult r = BinnedCall(p).run();
    ASSERT_TRUE(r.ok()) << r.errorMessage;
    for (const Array &out : r.outputs) {
        EXPECT_EQ(mxGetM(out.get()), 1u);
        EXPECT_EQ(mxGetN(out.get()), 0u);
    }
}

// Without listed samples B and K play no part, whatever they hold.
TEST(SplitScanBinned, EmptyNodeLeavesZeros) {
    oracle::BinnedProblem p = threeColumns();
    p.nodeSamples = {};
    for (double bad : {4.0, 0.0, -3.0, std::nan("")}) {
        BinnedCall call(p);
        call.B = host::makeScalar(bad);
        call.K = host::makeScalar(bad);
        expectRows(call.run(), {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    }
}

// B = 4.9 acts as 4 (a bin value of 4 is refused), K = 2.9 as 2 (a third
// class weight, NaN, is never read).
TEST(SplitScanBinned, CountsTruncateTowardZero) {
    oracle::BinnedProblem p = threeColumns();
    p.classWeights = {1, 1, std::nan("")};
    BinnedCall call(p);
    call.B = host::makeScalar(4.9);
    call.K = host::makeScalar(2.9);
    expectRows(call.run(), {{0, 0, 0}, {0, 1, 1}, {0.5, 0.5, 0.5}});
    p.binnedData[1] = 4;
    BinnedCall tooHigh(p);
    tooHigh.B = host::makeScalar(4.9);
    EXPECT_EQ(tooHigh.run().errorId, "splitScanBinned:badValue");
    tooHigh.B = host::makeScalar(5.0);
    EXPECT_TRUE(tooHigh.run().ok());
}

TEST(SplitScanBinned, UnusedScalarHasNoEffect) {
    const oracle::BinnedProblem p = oracle::randomBinnedProblem(7, 16);
    const oracle::BinnedResult expected = oracle::plainBinnedScan(p);
    for (double value : {0.0, -7.5, 1e300, std::nan("")}) {
        BinnedCall call(p);
        call.unused = host::makeScalar(value);
        expectRows(call.run(), expected);
    }
}

// Any B above 256 gives what B = 256 gives: no bin value reaches it.
TEST(SplitScanBinned, BinCountAbove256) {
    oracle::BinnedProblem p = oracle::randomBinnedProblem(11, 256);
    const oracle::BinnedResult expected = oracle::plainBinnedScan(p);
    for (double B : {257.0, 4096.0, 2147483647.0}) {
        BinnedCall call(p);
        call.B = host::makeScalar(B);
        expectRows(call.run(), expected);
    }
}

// Thread limits below 1 run one thread, above the runtime's maximum the
// maximum; every limit gives the plain scan's bits. ctest runs this file
// with several OMP_NUM_THREADS settings.
TEST(SplitScanBinned, SameBitsForEveryThreadLimit) {
    for (int B : {2, 16, 256}) {
        for (unsigned seed = 1; seed <= 10; ++seed) {
            const oracle::BinnedProblem p = oracle::randomBinnedProblem(seed * 31 + B, B);
            const oracle::BinnedResult expected = oracle::plainBinnedScan(p);
            for (double threads : {1.0, 2.0, 8.0, 64.0, 0.0, -3.0, std::nan(""), 1e12}) {
                SCOPED_TRACE(testing::Message() << "B " << B << " seed " << seed << " threads " << threads);
                expectRows(BinnedCall(p, threads).run(), expected);
            }
        }
    }
}

TEST(SplitScanBinned, AcceptsInt32Indices) {
    const oracle::BinnedProblem p = threeColumns();
    BinnedCall call(p);
    call.labels = host::makeMatrix<int32_t>(4, 1, {1, 1, 2, 2});
    call.nodeSamples = host::makeMatrix<int32_t>(4, 1, {0, 1, 2, 3});
    call.candidateFeatures = host::makeMatrix<int32_t>(3, 1, {2, 0, 1});
    expectRows(call.run(), {{0, 0, 0}, {0, 1, 1}, {0.5, 0.5, 0.5}});
}

}  // namespace

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
    {"binCountNaN", [](BinnedCall &c) { c.B = scalar(std::nan("")); }, "badValue", {"Argument 4 (B)", "it is NaN."}},
    {"binCountInfinite", [](BinnedCall &c) { c.B = scalar(HUGE_VAL); }, "badValue", {"Argument 4 (B)", "it is Inf."}},
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
    {"classCountNaN", [](BinnedCall &c) { c.K = scalar(std::nan("")); }, "badValue", {"Argument 7 (K)", "it is NaN."}},
    {"classCountHuge", [](BinnedCall &c) { c.K = scalar(1e10); }, "badValue", {"Argument 7 (K)", "it is 10000000000."}},
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
