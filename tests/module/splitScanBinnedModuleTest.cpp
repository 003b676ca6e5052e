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
