#include <gtest/gtest.h>

#include <vector>

#include "split/nodeTotals.h"

namespace {

struct Node {
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<double> classWeights;
};

split::NodeTotals totalsOf(const Node &node, std::vector<double> &classMass) {
    const int32_t K = static_cast<int32_t>(node.classWeights.size());
    classMass.assign(K, 0.0);
    const split::ClassMassPass pass = split::accumulateClassMass(
        node.labels.data(), node.weights.data(), static_cast<int32_t>(node.labels.size()), K, classMass.data());
    EXPECT_EQ(pass.badSample, -1);
    return split::nodeTotals(classMass.data(), node.classWeights.data(), K, pass);
}

TEST(SplitNodeTotals, ImpurityOfKnownNodes) {
    const struct {
        const char *what;
        Node node;
        double W, S, G0;
    } cases[] = {
        {"masses 3 and 1", {{1, 1, 1, 2}, {1, 1, 1, 1}, {1, 1}}, 4, 10, 0.375},
        {"pure, class weight 1", {{2, 2}, {1, 1}, {1, 1}}, 2, 4, 0.0},
        {"pure, class weight 2", {{1, 1}, {1, 1}, {2, 1}}, 2, 16, -3.0},
        {"class weight 0 on mass 3", {{1, 1, 1, 2}, {1, 1, 1, 1}, {0, 1}}, 4, 1, 0.9375},
        {"classes nobody carries", {{1, 1, 1, 2}, {1, 1, 1, 1}, {1, 1, 1, 1}}, 4, 10, 0.375},
    };
    for (const auto &c : cases) {
        std::vector<double> mass;
        const split::NodeTotals t = totalsOf(c.node, mass);
        EXPECT_EQ(t.W, c.W) << c.what;
        EXPECT_EQ(t.S, c.S) << c.what;
        EXPECT_EQ(t.G0, c.G0) << c.what;
    }
}

TEST(SplitNodeTotals, ReportsFirstLabelOutsideTheClasses) {
    const struct {
        std::vector<uint32_t> labels;
        int32_t K, firstBad;
    } cases[] = {
        {{1, 2, 0, 5}, 2, 2},
        {{1, 3, 2}, 2, 1},
        {{2, 0xFFFFFFFFu}, 2, 1},  // int32 -1 read as uint32
        {{1}, 0, 0},
        {{3, 1, 2}, 3, -1},
    };
    for (const auto &c : cases) {
        std::vector<double> mass(c.K, 0.0);
        const std::vector<float> weights(c.labels.size(), 1.0f);
        const split::ClassMassPass pass = split::accumulateClassMass(
            c.labels.data(), weights.data(), static_cast<int32_t>(c.labels.size()), c.K, mass.data());
        EXPECT_EQ(pass.badSample, c.firstBad) << "K = " << c.K;
    }
}

}  // namespace
