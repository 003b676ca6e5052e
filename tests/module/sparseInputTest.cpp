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
