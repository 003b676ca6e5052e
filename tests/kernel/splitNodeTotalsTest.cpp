#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "split/gini.h"
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
        {"storage-order weights", {{2, 1, 2}, {0.5f, 2, 0.25f}, {1, 1}}, 2.75, 4.5625, 1 - ((4.5625 / 2.75) / 2.75)},
    };
    for (const auto &c : cases) {
        std::vector<double> mass;
        const split::NodeTotals t = totalsOf(c.node, mass);
        EXPECT_EQ(t.W, c.W) << c.what;
        EXPECT_EQ(t.S, c.S) << c.what;
        EXPECT_EQ(t.G0, c.G0) << c.what;
    }
}

TEST(SplitNodeTotals, EmptyNodeHasNoImpurity) {
    std::vector<double> mass;
    EXPECT_TRUE(std::isnan(totalsOf({{}, {}, {1, 1}}, mass).G0));
}

TEST(SplitNodeTotals, SplitImpurityOfKnownSplits) {
    // Node masses (3, 1): W = 4, G0 = 0.375.
    EXPECT_EQ(split::splitGini(3, 9, 1, 1, 4), 0.0);   // left (3, 0), right (0, 1)
    EXPECT_EQ(split::splitGini(2, 2, 2, 4, 4), 0.25);  // left (1, 1), right (2, 0)
    EXPECT_TRUE(std::isnan(split::splitGini(0, 0, 4, 10, 4)));
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
