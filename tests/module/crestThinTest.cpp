// crestThin loaded through the stand-in host: exports, classes, shapes,
// conversions, errors.
#include <gtest/gtest.h>

#include <cmath>

#include "crestThinBadCalls.h"
#include "exports.h"
#include "host/loader.h"
#include "tests/support.h"

namespace {

using host::Array;

struct CrestThin : ::testing::Test {
    static host::Module &module() {
        static host::Module m(host::modulePath("crestThin"));
        return m;
    }

    // Random maps as host arrays.
    static void randomMaps(int32_t h, int32_t w, unsigned seed, Array &edge, Array &orientation) {
        const support::EdgeMaps m = support::edgeMaps(h, w, support::EdgeKind::continuous, seed);
        edge = host::makeMatrix<float>(h, w, m.edge);
        orientation = host::makeMatrix<float>(h, w, m.orientation);
    }

    static host::CallResult thin(const Array &edge, const Array &orientation, double radius, double margin,
                                 double multiplier, double threads, int nlhs = 1) {
        Array r = host::makeScalar(radius), b = host::makeScalar(margin), m = host::makeScalar(multiplier),
              t = host::makeScalar(threads);
        return module().call(nlhs, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
    }

    static std::vector<float> out(const host::CallResult &r) {
        return r.ok() ? host::values<float>(r.outputs[0].get()) : std::vector<float>();
    }
};

TEST_F(CrestThin, ExportsOnlyTheEntryPoint) {
    exports::expectEntryOnly(module(), false);
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

TEST_F(CrestThin, SameBitsWhateverThreadsBound) {
    Array edge, orientation;
    randomMaps(67, 101, 5, edge, orientation);
    const auto one = out(thin(edge, orientation, 2, 3, 1.01, 1));
    ASSERT_FALSE(one.empty());
    for (double bound : {2.0, 3.0, 8.0, 1000.0, 0.0, -4.0, 2.9})
        EXPECT_TRUE(support::sameBits(out(thin(edge, orientation, 2, 3, 1.01, bound)), one)) << bound;
}

TEST_F(CrestThin, ScalarsTruncateAndRound) {
    Array edge, orientation;
    randomMaps(23, 19, 9, edge, orientation);
    // Radius 2.9 acts as 2, margin -0.5 as 0, margin 3.7 as 3.
    EXPECT_TRUE(support::sameBits(out(thin(edge, orientation, 2.9, 3.7, 1.0, 2)),
                                  out(thin(edge, orientation, 2, 3, 1.0, 2))));
    EXPECT_TRUE(support::sameBits(out(thin(edge, orientation, 0, -0.5, 1.0, 2)), host::values<float>(edge.get())));

    // A multiplier just below 1 in double is 1 in single: equal neighbours survive.
    Array flat = host::makeMatrix<float>(3, 3, std::vector<float>(9, 2.0f));
    Array zero = host::makeMatrix<float>(3, 3, std::vector<float>(9, 0.0f));
    EXPECT_TRUE(support::sameBits(out(thin(flat, zero, 1, 0, 1.0 - std::ldexp(1.0, -30), 1)),
                                  host::values<float>(flat.get())));
    EXPECT_EQ(out(thin(flat, zero, 1, 0, 0.999, 1))[4], 0.0f);
}

TEST_F(CrestThin, AcceptsAnyNumericOrLogicalScalar) {
    Array edge, orientation;
    randomMaps(9, 9, 2, edge, orientation);
    Array r = host::makeMatrix<int32_t>(1, 1, {1}), b = host::makeMatrix<uint8_t>(1, 1, {1});
    Array m = host::makeMatrix<float>(1, 1, {1.0f}), t = host::makeArray(mxLOGICAL_CLASS, {1, 1});
    static_cast<uint8_t *>(mxGetData(t.get()))[0] = 1;
    auto result = module().call(1, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
    ASSERT_TRUE(result.ok()) << result.errorMessage;
    EXPECT_TRUE(support::sameBits(out(result), out(thin(edge, orientation, 1, 1, 1, 1))));
}

// The largest radius is taken, in time bounded by the map (a hang shows as
// the suite's time limit); any radius above it is refused, the largest 32-bit
// one and those beyond 32 bits too. The message is the bad-call table's.
TEST_F(CrestThin, RadiusUpToTheLimitRunsAboveItIsRefused) {
    Array edge, orientation;
    randomMaps(32, 40, 4, edge, orientation);
    const auto r = thin(edge, orientation, 65536, 2, 1, 2);
    EXPECT_TRUE(r.ok()) << r.errorMessage;
    for (double radius : {2147483647.0, 1e10, HUGE_VAL})
        EXPECT_EQ(thin(edge, orientation, radius, 2, 1, 2).errorId, "crestThin:badValue") << radius;
}

TEST_F(CrestThin, RejectsBadCalls) {
    for (const auto &c : crestThinBadCalls::cases) {
        const host::CallResult r = crestThinBadCalls::call(module(), c);
        EXPECT_EQ(r.errorId, c.id) << c.name;
        EXPECT_NE(r.errorMessage.find(c.messagePart), std::string::npos) << c.name << ": " << r.errorMessage;
    }
}

}  // namespace
