// splitScanBinned loaded through the stand-in host: exports, outputs, the
// entry's reading of its scalars, every refused call with its identifier as
// one table, and the same results for every thread limit. The numerics are
// the kernel tests' (tests/kernel/binned/binnedScanTest.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "exports.h"
#include "host/loader.h"
#include "tests/support.h"

namespace {

using host::Array;

host::Module &binnedModule() {
    static host::Module m(host::modulePath("splitScanBinned"));
    return m;
}

Array scalar(double v) { return host::makeScalar(v); }
Array uint32Row(const std::vector<uint32_t> &v) { return host::makeMatrix<uint32_t>(1, v.size(), v); }

// The ten inputs of one call as host arrays; `inputs` of them are passed
// (more than ten repeat `unused`), with `nlhs` outputs asked for.
struct BinnedCall {
    Array binnedData, labels, weights, B, nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit;
    int inputs = 10;
    int nlhs = 3;

    explicit BinnedCall(const support::BinnedNode &d = support::threeColumnNode(), double threads = 2)
        : binnedData(host::makeMatrix<uint8_t>(d.M, d.columns, d.binnedData)),
          labels(host::makeMatrix<uint32_t>(d.M, 1, d.labels)),
          weights(host::makeMatrix<float>(d.M, 1, d.weights)),
          B(scalar(d.B)),
          nodeSamples(uint32Row(d.nodeSamples)),
          candidateFeatures(uint32Row(d.candidateFeatures)),
          K(scalar(d.K)),
          unused(scalar(0)),
          classWeights(host::makeMatrix<double>(1, d.classWeights.size(), d.classWeights)),
          threadLimit(scalar(threads)) {}

    host::CallResult run() const {
        const mxArray *all[] = {binnedData.get(), labels.get(),  weights.get(),      B.get(),
                                nodeSamples.get(), candidateFeatures.get(), K.get(), unused.get(),
                                classWeights.get(), threadLimit.get()};
        std::vector<const mxArray *> in;
        for (int i = 0; i < inputs; ++i) in.push_back(i < 10 ? all[i] : unused.get());
        return binnedModule().call(nlhs, in);
    }
};

std::vector<double> row(const host::CallResult &r, size_t slot) { return host::values<double>(r.outputs[slot].get()); }

void expectRows(const host::CallResult &r, const std::vector<std::vector<double>> &expected) {
    ASSERT_TRUE(r.ok()) << r.errorId << ": " << r.errorMessage;
    ASSERT_EQ(r.outputs.size(), 3u);
    for (size_t slot = 0; slot < 3; ++slot)
        EXPECT_TRUE(support::sameBits(row(r, slot), expected[slot]))
            << "output " << slot + 1 << ": " << support::firstDifference(expected[slot], row(r, slot));
}

// The three rows of threeColumnNode for features 2, 0, 1.
const std::vector<std::vector<double>> threeColumnRows{{0, 0, 0}, {0, 1, 1}, {0.5, 0.5, 0.5}};

TEST(SplitScanBinned, ExportsEntryAndApiVersion) {
    exports::expectEntryOnly(binnedModule(), true);
}

// One double element per listed feature, in list order; no features give
// 1-by-0 rows; a call asking for no output still gets the first.
TEST(SplitScanBinned, OutputsAreRowsInListOrder) {
    support::BinnedNode d = support::threeColumnNode();
    d.candidateFeatures = {2, 0, 1, 2};
    const host::CallResult r = BinnedCall(d).run();
    expectRows(r, {{0, 0, 0, 0}, {0, 1, 1, 0}, {0.5, 0.5, 0.5, 0.5}});
    for (const Array &out : r.outputs) {
        EXPECT_EQ(mxGetClassID(out.get()), mxDOUBLE_CLASS);
        EXPECT_EQ(mxGetM(out.get()), 1u);
        EXPECT_EQ(mxGetN(out.get()), 4u);
    }

    d.candidateFeatures = {};
    for (const Array &out : BinnedCall(d).run().outputs) EXPECT_EQ(mxGetN(out.get()), 0u);

    BinnedCall none;
    none.nlhs = 0;
    const host::CallResult first = none.run();
    ASSERT_TRUE(first.ok()) << first.errorMessage;
    ASSERT_EQ(first.outputs.size(), 1u);
    EXPECT_EQ(row(first, 0), threeColumnRows[0]);
}

// Without listed samples B and K play no part, whatever they hold.
TEST(SplitScanBinned, EmptyNodeLeavesZeros) {
    support::BinnedNode d = support::threeColumnNode();
    d.nodeSamples = {};
    for (double bad : {4.0, 0.0, -3.0, std::nan("")}) {
        BinnedCall call(d);
        call.B = scalar(bad);
        call.K = scalar(bad);
        expectRows(call.run(), {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    }
}

// B = 4.9 acts as 4 (a bin value of 4 is refused), K = 2.9 as 2 (a third
// class weight, NaN, is never read); the largest B is taken as it is; the
// value of `unused` plays no part; int32 index arrays read as uint32 ones.
TEST(SplitScanBinned, ReadsItsScalarsAndIndexClasses) {
    support::BinnedNode d = support::threeColumnNode();
    d.classWeights = {1, 1, std::nan("")};
    BinnedCall call(d);
    call.B = scalar(4.9);
    call.K = scalar(2.9);
    expectRows(call.run(), threeColumnRows);
    call.B = scalar(2147483647.0);
    expectRows(call.run(), threeColumnRows);
    for (double value : {-7.5, 1e300, std::nan("")}) {
        call.unused = scalar(value);
        expectRows(call.run(), threeColumnRows);
    }
    for (mxClassID id : {mxCELL_CLASS, mxSTRUCT_CLASS, mxFUNCTION_CLASS}) {
        call.unused = host::makeArray(id, {1, 1});
        expectRows(call.run(), threeColumnRows);
    }

    d.binnedData[1] = 4;
    BinnedCall tooHigh(d);
    tooHigh.B = scalar(4.9);
    EXPECT_EQ(tooHigh.run().errorId, "splitScanBinned:badValue");
    tooHigh.B = scalar(5.0);
    EXPECT_TRUE(tooHigh.run().ok());

    BinnedCall int32s;
    int32s.labels = host::makeMatrix<int32_t>(4, 1, {1, 1, 2, 2});
    int32s.nodeSamples = host::makeMatrix<int32_t>(4, 1, {0, 1, 2, 3});
    int32s.candidateFeatures = host::makeMatrix<int32_t>(3, 1, {2, 0, 1});
    expectRows(int32s.run(), threeColumnRows);
}

struct ErrorCase {
    const char *name;
    std::function<void(BinnedCall &)> change;
    const char *reason;
    std::vector<const char *> fragments;  // each must appear in the message
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

const ErrorCase errorCases[] = {
    {"nineInputs", [](BinnedCall &c) { c.inputs = 9; }, "notEnoughInputs", {}},
    {"noInputs", [](BinnedCall &c) { c.inputs = 0; }, "notEnoughInputs", {}},
    {"elevenInputs", [](BinnedCall &c) { c.inputs = 11; }, "tooManyInputs", {}},
    {"fourOutputs", [](BinnedCall &c) { c.nlhs = 4; }, "tooManyOutputs", {}},
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
    {"binnedDataEmpty", [](BinnedCall &c) { c.binnedData = host::makeArray(mxUINT8_CLASS, {0, 0}); },
     "indexOutOfRange", {"Argument 5 (nodeSamples)", "binnedData is empty (0 rows)"}},
    {"nodeSampleBeyondRows", [](BinnedCall &c) { c.nodeSamples = uint32Row({0, 1, 4, 2}); },
     "indexOutOfRange", {"Argument 5 (nodeSamples)", "element 3 is 4", "0..3"}},
    {"nodeSampleNegative", [](BinnedCall &c) { c.nodeSamples = host::makeMatrix<int32_t>(1, 2, {0, -1}); },
     "indexOutOfRange", {"Argument 5 (nodeSamples)", "element 2 is -1"}},
    {"candidateFeaturesInt16", [](BinnedCall &c) { c.candidateFeatures = host::makeArray(mxINT16_CLASS, {1, 1}); },
     "wrongClass", {"Argument 6 (candidateFeatures)", "int16"}},
    {"candidateFeatureBeyondColumns", [](BinnedCall &c) { c.candidateFeatures = uint32Row({0, 3}); },
     "indexOutOfRange", {"Argument 6 (candidateFeatures)", "element 2 is 3", "0..2 (columns"}},
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

// A refused call also leaves no array behind but the call's own inputs.
TEST_P(BinnedErrors, RaisesItsError) {
    const ErrorCase &c = GetParam();
    BinnedCall call;
    c.change(call);
    const size_t before = standinLiveArrays();
    const host::CallResult r = call.run();
    EXPECT_EQ(r.errorId, std::string("splitScanBinned:") + c.reason) << r.errorMessage;
    for (const char *fragment : c.fragments) EXPECT_NE(r.errorMessage.find(fragment), std::string::npos) << r.errorMessage;
    EXPECT_EQ(standinLiveArrays(), before);
}

INSTANTIATE_TEST_SUITE_P(SplitScanBinned, BinnedErrors, ::testing::ValuesIn(errorCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Limits below 1 run one thread, above the runtime's maximum the maximum:
// every limit gives the bits of a limit of 1, or its error word for word
// (the lowest of several features holding a bin value of B or above).
// Scratch beyond what the system reports available is refused before any of
// it is made. About 4.2 kB of tables per class on one thread with 256 bins,
// for a list longer than occupiedBinsLimit.
TEST(SplitScanBinned, RefusesLargeScratchBeyondAvailableMemory) {
    support::BinnedNode d = support::threeColumnNode();
    for (int i = 0; i < split::occupiedBinsLimit; ++i) d.nodeSamples.push_back(i % 4);
    for (uint64_t bytes : support::scratchBeyondAvailable()) {
        const double K = std::ceil(static_cast<double>(bytes) / (2.0 * 264 * sizeof(double)));
        BinnedCall c(d);
        c.B = scalar(256);
        c.K = scalar(K);
        c.classWeights = host::makeArray(mxDOUBLE_CLASS, {1, static_cast<size_t>(K)});
        c.threadLimit = scalar(1);
        const host::CallResult r = c.run();
        EXPECT_EQ(r.errorId, "splitScanBinned:outOfMemory") << bytes;
        EXPECT_NE(r.errorMessage.find("bytes the system reports available"), std::string::npos) << r.errorMessage;
    }
}

TEST(SplitScanBinnedThreads, EveryLimitGivesTheSameResult) {
    std::mt19937 rng(31);
    int refused = 0;
    for (int32_t B : {2, 16, 256}) {
        for (int32_t K : {2, 5}) {
            const support::BinnedNode d = support::randomBinnedNode(rng, {B, K, B == 16, B < 256});
            const host::CallResult one = BinnedCall(d, 1).run();
            refused += one.errorId == "splitScanBinned:badValue";
            for (double threads : {2.0, 3.0, 8.0, 64.0, 0.0, -3.0, std::nan(""), 1e12}) {
                SCOPED_TRACE(testing::Message() << "B " << B << " K " << K << " threads " << threads);
                const host::CallResult r = BinnedCall(d, threads).run();
                EXPECT_EQ(r.errorId, one.errorId);
                EXPECT_EQ(r.errorMessage, one.errorMessage);
                if (one.ok()) expectRows(r, {row(one, 0), row(one, 1), row(one, 2)});
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 6);
}

}  // namespace
