// crestThin loaded through the stand-in host: exports, classes, shapes, errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "host/loader.h"

namespace {

using host::Array;

struct CrestThin : ::testing::Test {
    static host::Module &module() {
        static host::Module m(host::modulePath("crestThin"));
        return m;
    }

    // A random map with a third of its pixels zero, and random orientations.
    static void randomMaps(size_t h, size_t w, unsigned seed, Array &edge, Array &orientation) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        std::vector<float> e(h * w), o(h * w);
        for (size_t i = 0; i < e.size(); ++i) {
            e[i] = u(rng) < 0.33f ? 0.0f : u(rng);
            o[i] = u(rng) * 6.4f - 3.2f;
        }
        edge = host::makeMatrix<float>(h, w, e);
        orientation = host::makeMatrix<float>(h, w, o);
    }

    static host::CallResult thin(const Array &edge, const Array &orientation, double radius, double margin,
                                 double multiplier, double threads, int nlhs = 1) {
        Array r = host::makeScalar(radius), b = host::makeScalar(margin), m = host::makeScalar(multiplier),
              t = host::makeScalar(threads);
        return module().call(nlhs, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
    }
};

bool sameBits(const mxArray *a, const mxArray *b) {
    return mxGetNumberOfElements(a) == mxGetNumberOfElements(b) &&
           std::memcmp(mxGetData(a), mxGetData(b), mxGetNumberOfElements(a) * sizeof(float)) == 0;
}

TEST_F(CrestThin, ExportsOnlyTheEntryPoint) {
    EXPECT_NE(module().symbol("mexFunction"), nullptr);
    EXPECT_EQ(module().symbol("mexfilerequiredapiversion"), nullptr);
    EXPECT_EQ(module().symbol("_ZN5crest9thinEdgesEPKfS1_iiifiiPf"), nullptr);
}

TEST_F(CrestThin, ReturnsSingleMapOfTheInputShape) {
    Array edge, orientation;
    randomMaps(7, 5, 1, edge, orientation);
    for (int nlhs : {0, 1}) {
        auto r = thin(edge, orientation, 1, 1, 1, 2, nlhs);
        ASSERT_TRUE(r.ok()) << r.errorMessage;
        ASSERT_EQ(r.outputs.size(), 1u);
        EXPECT_EQ(mxGetClassID(r.outputs[0].get()), mxSINGLE_CLASS);
        EXPECT_EQ(mxGetM(r.outputs[0].get()), 7u);
        EXPECT_EQ(mxGetN(r.outputs[0].get()), 5u);
    }
    for (auto [h, w] : {std::pair<size_t, size_t>{0, 5}, {4, 0}, {0, 0}}) {
        Array e = host::makeArray(mxSINGLE_CLASS, {h, w}), o = host::makeArray(mxSINGLE_CLASS, {h, w});
        auto r = thin(e, o, 1, 1, 1, 1);
        ASSERT_TRUE(r.ok()) << r.errorMessage;
        EXPECT_EQ(mxGetM(r.outputs[0].get()), h);
        EXPECT_EQ(mxGetN(r.outputs[0].get()), w);
    }
}

TEST_F(CrestThin, SameBitsForEveryThreadBound) {
    Array edge, orientation;
    randomMaps(67, 101, 5, edge, orientation);
    auto one = thin(edge, orientation, 2, 3, 1.01, 1);
    ASSERT_TRUE(one.ok());
    for (double bound : {2.0, 3.0, 8.0, 1000.0, 0.0, -4.0, 2.9}) {
        auto r = thin(edge, orientation, 2, 3, 1.01, bound);
        ASSERT_TRUE(r.ok()) << r.errorMessage;
        EXPECT_TRUE(sameBits(r.outputs[0].get(), one.outputs[0].get())) << bound;
    }
}

TEST_F(CrestThin, ScalarsTruncateAndRound) {
    Array edge, orientation;
    randomMaps(23, 19, 9, edge, orientation);
    // Radius 2.9 acts as 2, margin -0.5 as 0, margin 3.7 as 3.
    auto truncated = thin(edge, orientation, 2.9, 3.7, 1.0, 2);
    auto whole = thin(edge, orientation, 2, 3, 1.0, 2);
    EXPECT_TRUE(sameBits(truncated.outputs[0].get(), whole.outputs[0].get()));
    auto copy = thin(edge, orientation, 0, -0.5, 1.0, 2);
    EXPECT_TRUE(sameBits(copy.outputs[0].get(), edge.get()));

    // A multiplier just below 1 in double is 1 in single: equal neighbours survive.
    Array flat = host::makeMatrix<float>(3, 3, std::vector<float>(9, 2.0f));
    Array zero = host::makeMatrix<float>(3, 3, std::vector<float>(9, 0.0f));
    auto r = thin(flat, zero, 1, 0, 1.0 - std::ldexp(1.0, -30), 1);
    EXPECT_TRUE(sameBits(r.outputs[0].get(), flat.get()));
    r = thin(flat, zero, 1, 0, 0.999, 1);
    EXPECT_EQ(host::values<float>(r.outputs[0].get())[4], 0.0f);
}

TEST_F(CrestThin, AcceptsAnyNumericOrLogicalScalar) {
    Array edge, orientation;
    randomMaps(9, 9, 2, edge, orientation);
    auto reference = thin(edge, orientation, 1, 1, 1, 1);
    Array r = host::makeMatrix<int32_t>(1, 1, {1}), b = host::makeMatrix<uint8_t>(1, 1, {1});
    Array m = host::makeMatrix<float>(1, 1, {1.0f}), t = host::makeArray(mxLOGICAL_CLASS, {1, 1});
    static_cast<uint8_t *>(mxGetData(t.get()))[0] = 1;
    auto result = module().call(1, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
    ASSERT_TRUE(result.ok()) << result.errorMessage;
    EXPECT_TRUE(sameBits(result.outputs[0].get(), reference.outputs[0].get()));
}

struct BadCall {
    const char *name;
    int nlhs;
    int nrhs;
    int replaced;        // input slot replaced by `replacement`, or -1
    mxClassID cls;
    std::vector<size_t> dims;
    mxComplexity complexity;
    const char *id;
    const char *messagePart;
};

TEST_F(CrestThin, RejectsBadCalls) {
    const BadCall cases[] = {
        {"five inputs", 1, 5, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:notEnoughInputs", "5 given"},
        {"no inputs", 1, 0, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:notEnoughInputs", "0 given"},
        {"seven inputs", 1, 7, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:tooManyInputs", "7 given"},
        {"two outputs", 2, 6, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:tooManyOutputs", "2 requested"},
        {"double edge map", 1, 6, 0, mxDOUBLE_CLASS, {4, 4}, mxREAL, "crestThin:wrongClass", "Argument 1 (edgeMap)"},
        {"complex edge map", 1, 6, 0, mxSINGLE_CLASS, {4, 4}, mxCOMPLEX, "crestThin:notReal", "Argument 1 (edgeMap)"},
        {"3-D edge map", 1, 6, 0, mxSINGLE_CLASS, {4, 2, 2}, mxREAL, "crestThin:notMatrix", "3 dimensions"},
        {"double orientation", 1, 6, 1, mxDOUBLE_CLASS, {4, 4}, mxREAL, "crestThin:wrongClass", "Argument 2 (orientationMap)"},
        {"short orientation", 1, 6, 1, mxSINGLE_CLASS, {3, 5}, mxREAL, "crestThin:wrongSize", "at least 16 elements"},
        {"char radius", 1, 6, 2, mxCHAR_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 3 (radius)"},
        {"empty margin", 1, 6, 3, mxDOUBLE_CLASS, {0, 0}, mxREAL, "crestThin:notScalar", "Argument 4 (marginWidth) must be a numeric or logical scalar; it is empty"},
        {"cell multiplier", 1, 6, 4, mxCELL_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 5 (multiplier)"},
        {"struct thread bound", 1, 6, 5, mxSTRUCT_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 6 (threadBound)"},
    };
    for (const BadCall &c : cases) {
        Array edge, orientation;
        randomMaps(4, 4, 3, edge, orientation);
        Array scalars[4] = {host::makeScalar(1), host::makeScalar(1), host::makeScalar(1), host::makeScalar(1)};
        std::vector<const mxArray *> in = {edge.get(), orientation.get(), scalars[0].get(), scalars[1].get(),
                                           scalars[2].get(), scalars[3].get(), scalars[3].get()};
        Array replacement;
        if (c.replaced >= 0) {
            replacement = host::makeArray(c.cls, c.dims, c.complexity);
            in[c.replaced] = replacement.get();
        }
        in.resize(c.nrhs);
        auto r = module().call(c.nlhs, in);
        EXPECT_EQ(r.errorId, c.id) << c.name;
        EXPECT_NE(r.errorMessage.find(c.messagePart), std::string::npos) << c.name << ": " << r.errorMessage;
    }
}

}  // namespace
