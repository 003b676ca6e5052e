// splitScan loaded through the stand-in host: exports, results, shapes, errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "tests/kernel/split/splitSweepOracle.h"
#include "host/loader.h"

namespace {

using host::Array;
using oracle::SplitProblem;

host::Module &module() {
    static host::Module m(host::modulePath("splitScan"));
    return m;
}

struct Inputs {
    Array args[7];
    int count = 7;

    host::CallResult call(int nlhs = 3) const {
        std::vector<const mxArray *> list;
        for (int a = 0; a < count; ++a) list.push_back(a < 7 ? args[a].get() : args[0].get());
        return module().call(nlhs, list);
    }
};

template <typename Label = uint32_t>
Inputs inputsOf(const SplitProblem &p, std::vector<size_t> orderDims = {}, double K = -1) {
    if (orderDims.empty()) orderDims = {static_cast<size_t>(p.M), static_cast<size_t>(p.N)};
    Inputs in;
    in.args[0] = host::makeMatrix<float>(p.M, p.N, p.X);
    in.args[1] = host::makeMatrix<Label>(p.M, 1, std::vector<Label>(p.labels.begin(), p.labels.end()));
    in.args[2] = host::makeMatrix<float>(p.M, 1, p.weights);
    in.args[3] = host::makeArray(mxUINT32_CLASS, orderDims);
    std::copy(p.sortedOrder.begin(), p.sortedOrder.end(), static_cast<uint32_t *>(mxGetData(in.args[3].get())));
    in.args[4] = host::makeScalar(K < 0 ? p.K : K);
    in.args[5] = host::makeScalar(NAN);
    in.args[6] = host::makeMatrix<double>(1, p.classWeights.size(), p.classWeights);
    return in;
}

bool sameBits(const mxArray *a, const std::vector<double> &b) {
    return mxGetClassID(a) == mxDOUBLE_CLASS && mxGetM(a) == 1 && mxGetN(a) == b.size() &&
           (b.empty() || std::memcmp(mxGetData(a), b.data(), b.size() * sizeof(double)) == 0);
}

TEST(SplitScanModule, ExportsEntryAndApiVersion) {
    EXPECT_NE(module().symbol("mexFunction"), nullptr);
    auto version = reinterpret_cast<void (*)(uint32_t *, uint32_t *)>(module().symbol("mexfilerequiredapiversion"));
    ASSERT_NE(version, nullptr);
    uint32_t release = 0, arrays = 0;
    version(&release, &arrays);
    EXPECT_EQ(release, 0x0002018Bu);
    EXPECT_EQ(arrays, 0x07300000u);
    EXPECT_EQ(module().symbol("_ZN5split18sweepFeatureAvx512ERKNS_12SweepContextEiPdRKNS_9SplitRowsE"),
              nullptr);
}

// Labels 1, 1, 2, 2; five features so that every team splits them.
TEST(SplitScanModule, KnownFeaturesSideBySide) {
    const SplitProblem p{4, 5, 2,
                         {1, 2, 3, 4, /**/ 1, 2, 3, 4, /**/ 5, 5, 5, 7, /**/ 4, 3, 2, 1, /**/ 1, 3, 2, 4},
                         {1, 1, 2, 2},
                         {1, 1, 1, 1},
                         {0, 1, 2, 3, /**/ 3, 2, 1, 0, /**/ 0, 1, 2, 3, /**/ 3, 2, 1, 0, /**/ 0, 2, 1, 3},
                         {1, 1}};
    const auto r = inputsOf(p, {}, 2.9).call();  // K = 2.9 acts as 2
    ASSERT_TRUE(r.ok()) << r.errorMessage;
    EXPECT_TRUE(sameBits(r.outputs[0].get(), {0, 0, 0, 0, 1.0 / 3}));
    EXPECT_TRUE(sameBits(r.outputs[1].get(), {2.5, 2.5, 5, 2.5, 1.5}));
    EXPECT_TRUE(sameBits(r.outputs[2].get(), {0.5, 0.5, 0.5, 0.5, 0.16666666666666669}));

    const auto first = inputsOf(p).call(0);  // no output asked: the impurity row still returns
    ASSERT_TRUE(first.ok()) << first.errorMessage;
    ASSERT_EQ(first.outputs.size(), 1u);
    EXPECT_TRUE(sameBits(first.outputs[0].get(), {0, 0, 0, 0, 1.0 / 3}));
}

// Run under every OMP_NUM_THREADS setting, so equal bits here mean equal bits
// across thread counts.
TEST(SplitScanModule, MatchesPlainSweepForEveryInputForm) {
    const SplitProblem p = oracle::randomProblem(11, 90, 11, 4);
    const oracle::SplitResult expected = oracle::plainSplitScan(p);
    const size_t MN = 90 * 11;
    const struct {
        const char *what;
        Inputs in;
    } forms[] = {
        {"uint32 labels, M x N order", inputsOf(p)},
        {"int32 labels", inputsOf<int32_t>(p)},
        {"order as a row", inputsOf(p, {1, MN})},
        {"order as N x M", inputsOf(p, {11, 90})},
        {"order in three dimensions", inputsOf(p, {9, 10, 11})},
    };
    for (const auto &f : forms) {
        const auto r = f.in.call();
        ASSERT_TRUE(r.ok()) << f.what << ": " << r.errorMessage;
        EXPECT_TRUE(sameBits(r.outputs[0].get(), expected.impurity) && sameBits(r.outputs[1].get(), expected.threshold) &&
                    sameBits(r.outputs[2].get(), expected.gain))
            << f.what;
    }
}

TEST(SplitScanModule, DegenerateSizesGiveZeroRows) {
    const struct {
        int M, N, K;
    } sizes[] = {{5, 0, 2}, {0, 3, 2}, {0, 3, 0}, {1, 4, 3}};
    for (const auto &s : sizes) {
        const SplitProblem p = oracle::randomProblem(3, s.M, s.N, s.K > 0 ? s.K : 1);
        Inputs in = inputsOf(p, {}, s.K);
        const auto r = in.call();
        ASSERT_TRUE(r.ok()) << "M = " << s.M << ", N = " << s.N << ": " << r.errorMessage;
        for (const auto &out : r.outputs) EXPECT_TRUE(sameBits(out.get(), std::vector<double>(s.N, 0.0)));
    }
}

TEST(SplitScanModule, RejectsBadCalls) {
    // Four samples, labels 1, 1, 2, 2, two features, K = 2.
    const SplitProblem base{4, 2, 2, {1, 2, 3, 4, 4, 3, 2, 1}, {1, 1, 2, 2}, {1, 1, 1, 1},
                            {0, 1, 2, 3, 3, 2, 1, 0}, {1, 1}};
    auto set = [](int slot, std::function<Array()> make) {
        return [slot, make](Inputs &in) { in.args[slot] = make(); };
    };
    auto scalar = [&](int slot, double v) { return set(slot, [v] { return host::makeScalar(v); }); };
    auto orderEntry = [](size_t element, uint32_t value) {
        return [element, value](Inputs &in) { static_cast<uint32_t *>(mxGetData(in.args[3].get()))[element] = value; };
    };
    const struct {
        std::function<void(Inputs &)> change;
        int nlhs;
        const char *id;
        const char *fragment;
    } cases[] = {
        {[](Inputs &in) { in.count = 6; }, 3, "splitScan:notEnoughInputs", "6 given"},
        {[](Inputs &in) { in.count = 8; }, 3, "splitScan:tooManyInputs", "8 given"},
        {[](Inputs &) {}, 4, "splitScan:tooManyOutputs", "4 requested"},
        {set(0, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 2}); }), 3, "splitScan:wrongClass", "Argument 1 (X)"},
        {set(0, [] { return host::makeArray(mxSINGLE_CLASS, {4, 2}, mxCOMPLEX); }), 3, "splitScan:notReal", "Argument 1"},
        {set(0, [] { return host::makeArray(mxSINGLE_CLASS, {4, 1, 2}); }), 3, "splitScan:notMatrix", "3 dimensions"},
        {set(1, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 1}); }), 3, "splitScan:wrongClass", "Argument 2 (labels)"},
        {set(1, [] { return host::makeArray(mxUINT32_CLASS, {3, 1}); }), 3, "splitScan:wrongSize", "holds 3"},
        {set(2, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 1}); }), 3, "splitScan:wrongClass", "Argument 3 (weights)"},
        {set(2, [] { return host::makeArray(mxSINGLE_CLASS, {1, 5}); }), 3, "splitScan:wrongSize", "holds 5"},
        {set(3, [] { return host::makeArray(mxINT64_CLASS, {4, 2}); }), 3, "splitScan:wrongClass", "Argument 4 (sortedOrder)"},
        {set(3, [] { return host::makeArray(mxUINT32_CLASS, {4, 1}); }), 3, "splitScan:wrongSize", "must hold 8"},
        {scalar(4, 0), 3, "splitScan:badValue", "Argument 5 (K) must be a class count from 1 to 2147483647; it is 0"},
        {scalar(4, -1), 3, "splitScan:badValue", "it is -1"},
        {scalar(4, NAN), 3, "splitScan:badValue", "it is NaN."},
        {scalar(4, INFINITY), 3, "splitScan:badValue", "it is Inf."},
        {scalar(4, 3e9), 3, "splitScan:badValue", "it is 3000000000."},
        {set(4, [] { return host::makeArray(mxDOUBLE_CLASS, {0, 0}); }), 3, "splitScan:notScalar", "Argument 5"},
        {set(6, [] { return host::makeMatrix<float>(1, 2, {1, 1}); }), 3, "splitScan:wrongClass", "Argument 7"},
        {set(6, [] { return host::makeScalar(1); }), 3, "splitScan:wrongSize", "at least 2"},
        {set(1, [] { return host::makeMatrix<uint32_t>(4, 1, {1, 2, 0, 2}); }), 3, "splitScan:labelOutOfRange",
         "Argument 2 (labels) holds 0 at element 3; labels must lie in 1 ... 2"},
        {set(1, [] { return host::makeMatrix<int32_t>(4, 1, {1, -5, 3, 2}); }), 3, "splitScan:labelOutOfRange",
         "holds -5 at element 2"},
        {orderEntry(6, 4), 3, "splitScan:indexOutOfRange",
         "Argument 4 (sortedOrder) holds 4 at element 7 (position 3 in the order of feature 2); sample indices "
         "must lie in 0 ... 3"},
        {[](Inputs &in) {  // int32 order, entries -1 in both features: the first feature is named
             in.args[3] = host::makeMatrix<int32_t>(4, 2, {0, 1, 2, 3, 3, 2, 1, 0});
             static_cast<int32_t *>(mxGetData(in.args[3].get()))[7] = -1;
             static_cast<int32_t *>(mxGetData(in.args[3].get()))[2] = -1;
         },
         3, "splitScan:indexOutOfRange", "holds -1 at element 3 (position 3 in the order of feature 1)"},
        {[](Inputs &in) {  // one sample: the column is never swept, yet checked
             in.args[0] = host::makeMatrix<float>(1, 3, {1, 2, 3});
             in.args[1] = host::makeMatrix<uint32_t>(1, 1, {1});
             in.args[2] = host::makeMatrix<float>(1, 1, {1});
             in.args[3] = host::makeMatrix<uint32_t>(1, 3, {0, 0, 2});
         },
         3, "splitScan:indexOutOfRange", "holds 2 at element 3 (position 1 in the order of feature 3)"},
    };
    for (const auto &c : cases) {
        Inputs in = inputsOf(base);
        c.change(in);
        const auto r = in.call(c.nlhs);
        EXPECT_EQ(r.errorId, c.id) << r.errorMessage;
        EXPECT_NE(r.errorMessage.find(c.fragment), std::string::npos) << r.errorMessage;
    }
}

}  // namespace

// A sparse array holds only its non-zeros, so reading it as a full array would
// run past its data: every module refuses one where it expects full data.
#include <gtest/gtest.h>

#include "host/loader.h"

namespace {

using host::Array;

TEST(SparseInputs, ClassWeightsMustBeFull) {
    struct Case {
        const char *module;
        std::vector<Array> inputs;
        int classWeightsSlot;
    };
    std::vector<Case> cases;
    {
        Case c{"splitScan", {}, 6};
        c.inputs.push_back(host::makeMatrix<float>(2, 1, {1.0f, 2.0f}));
        c.inputs.push_back(host::makeMatrix<uint32_t>(2, 1, {1, 2}));
        c.inputs.push_back(host::makeMatrix<float>(2, 1, {1.0f, 1.0f}));
        c.inputs.push_back(host::makeMatrix<uint32_t>(2, 1, {0, 1}));
        c.inputs.push_back(host::makeScalar(2));
        c.inputs.push_back(host::makeScalar(0));
        c.inputs.push_back(host::makeMatrix<double>(1, 2, {1.0, 1.0}));
        cases.push_back(std::move(c));
    }
    {
        Case c{"splitScanBinned", {}, 8};
        c.inputs.push_back(host::makeMatrix<uint8_t>(2, 1, {0, 1}));
        c.inputs.push_back(host::makeMatrix<uint32_t>(2, 1, {1, 2}));
        c.inputs.push_back(host::makeMatrix<float>(2, 1, {1.0f, 1.0f}));
        c.inputs.push_back(host::makeScalar(2));
        c.inputs.push_back(host::makeMatrix<uint32_t>(1, 2, {0, 1}));
        c.inputs.push_back(host::makeMatrix<uint32_t>(1, 1, {0}));
        c.inputs.push_back(host::makeScalar(2));
        c.inputs.push_back(host::makeScalar(0));
        c.inputs.push_back(host::makeMatrix<double>(1, 2, {1.0, 1.0}));
        c.inputs.push_back(host::makeScalar(1));
        cases.push_back(std::move(c));
    }
    for (Case &c : cases) {
        host::Module module(host::modulePath(c.module));
        std::vector<const mxArray *> in;
        for (const Array &a : c.inputs) in.push_back(a.get());
        ASSERT_TRUE(module.call(3, in).ok()) << c.module;

        standinMarkSparse(c.inputs[c.classWeightsSlot].get());
        auto r = module.call(3, in);
        EXPECT_EQ(r.errorId, std::string(c.module) + ":wrongClass");
        EXPECT_NE(r.errorMessage.find("(classWeights) must be a full double array; it is sparse"), std::string::npos)
            << r.errorMessage;
    }
}

}  // namespace
