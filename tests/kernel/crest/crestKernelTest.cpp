// Edge thinning kernels called as plain functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "crest/interpolate.h"
#include "crest/thin.h"

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

// Column-major map of h rows and w columns with value(y, x).
template <typename F> std::vector<float> mapOf(int h, int w, F value) {
    std::vector<float> m(static_cast<size_t>(h) * w);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) m[y + static_cast<size_t>(h) * x] = value(y, x);
    return m;
}

bool sameBits(const std::vector<float> &a, const std::vector<float> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::vector<float> thin(const std::vector<float> &edge, const std::vector<float> &orientation, int h,
                        int w, int radius, float multiplier, int margin, int team = 1) {
    std::vector<float> out(edge.size(), -1.0f);
    crest::thinEdges(edge.data(), orientation.data(), h, w, radius, multiplier, margin, team, out.data());
    return out;
}

TEST(InterpolateBilinear, SamplesAndClamps) {
    // 3 rows x 4 columns, value 10*y + x.
    const auto m = mapOf(3, 4, [](int y, int x) { return 10.0f * y + x; });
    struct Case {
        float px, py, expected;
    } cases[] = {
        {1.0f, 1.0f, 11.0f},                 // a pixel centre
        {1.5f, 0.0f, 1.5f},                  // halfway along a row
        {0.0f, 0.5f, 5.0f},                  // halfway down a column
        {-3.0f, -0.5f, 0.0f},                // negative coordinates read at 0
        {nan, nan, 0.0f},                    // NaN reads at 0 as well
        {1.25f, 1.5f, 16.25f},               // inside a cell
    };
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(crest::interpolateBilinear(m.data(), 3, 4, c.px, c.py), c.expected)
            << c.px << "," << c.py;

    // Beyond the last column the position is w - 1.001 rounded to single:
    // almost all of the last column, a thousandth of the one before.
    const float ceilingX = static_cast<float>(4 - 1.001);
    const float fx = ceilingX - 2.0f;
    const float expected = ((1.0f - fx) * 12.0f) * 1.0f + (fx * 13.0f) * 1.0f + ((1.0f - fx) * 22.0f) * 0.0f +
                           (fx * 23.0f) * 0.0f;
    EXPECT_EQ(crest::interpolateBilinear(m.data(), 3, 4, 100.0f, 1.0f), expected);
    EXPECT_LT(std::fabs(crest::interpolateBilinear(m.data(), 3, 4, 100.0f, 100.0f) - 23.0f), 0.02f);
}

TEST(InterpolateBilinear, MapsOnePixelAcrossStayInside) {
    const std::vector<float> column = {1.0f, 2.0f, 3.0f};  // 3 x 1
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(column.data(), 3, 1, 5.0f, 1.5f), 2.5f);
    const std::vector<float> row = {1.0f, 2.0f, 3.0f};  // 1 x 3
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(row.data(), 1, 3, 0.5f, -7.0f), 1.5f);
    const std::vector<float> one = {4.0f};
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(one.data(), 1, 1, 3.0f, 3.0f), 4.0f);
}

// A pixel between two neighbours in its row, orientation 0, radius 1.
struct RowCase {
    const char *name;
    float left, centre, right, multiplier, expected;
};

TEST(SuppressNonMaxima, ComparesWithRowNeighbours) {
    const RowCase cases[] = {
        {"stronger neighbour suppresses", 1.0f, 2.0f, 3.0f, 1.0f, 0.0f},
        {"equal neighbour does not", 2.0f, 2.0f, 2.0f, 1.0f, 2.0f},
        {"multiplier lifts the limit", 2.1f, 2.0f, 1.0f, 1.1f, 2.0f},
        {"limit just below a neighbour", 2.3f, 2.0f, 1.0f, 1.1f, 0.0f},
        {"NaN pixel is kept", 5.0f, nan, 5.0f, 1.0f, nan},
        {"NaN neighbour never suppresses", nan, 2.0f, 1.0f, 1.0f, 2.0f},
        {"negative pixel below a zero neighbour", 0.0f, -2.0f, -3.0f, 1.0f, 0.0f},
        {"negative pixel above its neighbours", -3.0f, -2.0f, -3.0f, 1.0f, -2.0f},
        {"local maximum stands", 1.0f, 3.0f, 2.0f, 1.0f, 3.0f},
    };
    for (const RowCase &c : cases) {
        // 3 rows x 5 columns; the pixel sits at row 1, column 2.
        auto edge = mapOf(3, 5, [](int, int) { return 0.0f; });
        edge[1 + 3 * 1] = c.left;
        edge[1 + 3 * 2] = c.centre;
        edge[1 + 3 * 3] = c.right;
        const auto orientation = mapOf(3, 5, [](int, int) { return 0.0f; });
        const auto out = thin(edge, orientation, 3, 5, 1, c.multiplier, 0);
        const float got = out[1 + 3 * 2];
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(got)) << c.name;
        else
            EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(SuppressNonMaxima, SamplesAlongTheOrientation) {
    // Orientation pi/2 steps along the column (the row moves with the sine).
    auto edge = mapOf(5, 5, [](int, int) { return 0.0f; });
    edge[2 + 5 * 2] = 2.0f;  // centre
    edge[1 + 5 * 2] = 3.0f;  // the pixel above is stronger
    edge[2 + 5 * 1] = 9.0f;  // a stronger pixel to the left is not on the line
    const auto orientation = mapOf(5, 5, [](int, int) { return static_cast<float>(M_PI / 2); });
    EXPECT_EQ(thin(edge, orientation, 5, 5, 1, 1.0f, 0)[2 + 5 * 2], 0.0f);

    const auto across = mapOf(5, 5, [](int, int) { return 0.0f; });
    auto kept = thin(edge, across, 5, 5, 1, 1.0f, 0);
    EXPECT_EQ(kept[2 + 5 * 2], 0.0f);  // now the left neighbour (9) is on the line
    edge[2 + 5 * 1] = 1.0f;
    kept = thin(edge, across, 5, 5, 1, 1.0f, 0);
    EXPECT_EQ(kept[2 + 5 * 2], 2.0f);
}

TEST(SuppressNonMaxima, RadiusReachesFartherSamples) {
    auto edge = mapOf(3, 7, [](int, int) { return 0.0f; });
    edge[1 + 3 * 3] = 2.0f;
    edge[1 + 3 * 6] = 5.0f;  // three columns to the right
    const auto orientation = mapOf(3, 7, [](int, int) { return 0.0f; });
    EXPECT_EQ(thin(edge, orientation, 3, 7, 2, 1.0f, 0)[1 + 3 * 3], 2.0f);
    EXPECT_EQ(thin(edge, orientation, 3, 7, 3, 1.0f, 0)[1 + 3 * 3], 0.0f);
}

TEST(SuppressNonMaxima, CopiesWhereNothingIsCompared) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    const auto edge = mapOf(6, 9, [&](int, int) { return value(rng); });
    const auto orientation = mapOf(6, 9, [&](int, int) { return value(rng) * 4.0f; });
    for (int radius : {0, -1, std::numeric_limits<int>::min()})
        EXPECT_TRUE(sameBits(thin(edge, orientation, 6, 9, radius, 1.0f, 0), edge)) << radius;

    // Zeros keep their sign, and no orientation is read for them.
    auto zeros = mapOf(4, 4, [](int y, int) { return y % 2 ? -0.0f : 0.0f; });
    std::vector<float> out(zeros.size(), 1.0f);
    crest::thinEdges(zeros.data(), nullptr, 4, 4, 3, 1.0f, 0, 2, out.data());
    EXPECT_TRUE(sameBits(out, zeros));
}

TEST(SuppressNonMaxima, NonFiniteOrientationKeepsThePixel) {
    auto edge = mapOf(4, 4, [](int, int) { return 9.0f; });
    edge[1 + 4 * 1] = 1.0f;
    for (float theta : {nan, inf, -inf}) {
        auto orientation = mapOf(4, 4, [](int, int) { return 0.0f; });
        orientation[1 + 4 * 1] = theta;
        EXPECT_EQ(thin(edge, orientation, 4, 4, 2, 1.0f, 0)[1 + 4 * 1], 1.0f) << theta;
    }
}

TEST(SuppressNonMaxima, ThinMapsStayInside) {
    // One row, one column and a single pixel, with a large radius and random
    // angles: every read stays inside (checked under the sanitizers).
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(0.1f, 1.0f);
    for (auto [h, w] : {std::pair{1, 13}, std::pair{13, 1}, std::pair{1, 1}}) {
        const auto edge = mapOf(h, w, [&](int, int) { return value(rng); });
        const auto orientation = mapOf(h, w, [&](int, int) { return value(rng) * 7.0f; });
        const auto out = thin(edge, orientation, h, w, 20, 1.0f, 3, 2);
        for (size_t i = 0; i < out.size(); ++i) EXPECT_TRUE(out[i] == edge[i] || out[i] == 0.0f);
    }
}

TEST(SuppressNonMaxima, SameBitsForEveryTeamSize) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const int h = 61, w = 83;
    const auto edge = mapOf(h, w, [&](int, int) { return value(rng) < 0.3f ? 0.0f : value(rng); });
    const auto orientation = mapOf(h, w, [&](int, int) { return value(rng) * 6.3f - 3.1f; });
    const auto one = thin(edge, orientation, h, w, 2, 1.01f, 4, 1);
    for (int team : {2, 3, 8, 200}) EXPECT_TRUE(sameBits(thin(edge, orientation, h, w, 2, 1.01f, 4, team), one)) << team;
}

TEST(AttenuateMargin, BandWidthAndFactors) {
    struct Case {
        int h, w, margin, expectedBand;
    } cases[] = {{10, 100, 20, 5}, {8, 8, 1, 1}, {9, 9, 4, 4}, {7, 12, 3, 3}, {1, 9, 3, 0}, {9, 1, 3, 0}, {6, 6, 0, 0}, {6, 6, -2, 0}};
    for (const Case &c : cases) {
        auto m = mapOf(c.h, c.w, [](int, int) { return 1.0f; });
        crest::attenuateMargin(m.data(), c.h, c.w, c.margin);
        const int b = c.expectedBand;
        for (int x = 0; x < c.w; ++x)
            for (int y = 0; y < c.h; ++y) {
                auto f = [b](int k) { return static_cast<float>(k) / static_cast<float>(b); };
                float expected = 1.0f;
                if (x < b) expected = expected * f(x);
                if (x >= c.w - b) expected = expected * f(c.w - 1 - x);
                if (y < b) expected = expected * f(y);
                if (y >= c.h - b) expected = expected * f(c.h - 1 - y);
                ASSERT_EQ(m[y + static_cast<size_t>(c.h) * x], expected)
                    << c.h << "x" << c.w << " margin " << c.margin << " at " << y << "," << x;
            }
    }
}

TEST(AttenuateMargin, CornerTakesColumnFactorFirst) {
    // b = 4: the corner pixel at row 1, column 2 is scaled by 0.5, then by 0.25.
    const float v = 0.1f + 1.0f / 3.0f;
    auto m = mapOf(9, 9, [v](int, int) { return v; });
    crest::attenuateMargin(m.data(), 9, 9, 4);
    EXPECT_EQ(m[1 + 9 * 2], (v * 0.5f) * 0.25f);
    EXPECT_EQ(m[4 + 9 * 4], v);  // the middle of an odd map is untouched
}

TEST(AttenuateMargin, ZeroFactorFollowsIeee) {
    auto m = mapOf(4, 4, [](int, int) { return 1.0f; });
    m[0] = nan;
    m[1] = inf;
    m[2] = -5.0f;
    crest::attenuateMargin(m.data(), 4, 4, 1);
    EXPECT_TRUE(std::isnan(m[0]));
    EXPECT_TRUE(std::isnan(m[1]));
    EXPECT_EQ(m[2], 0.0f);
    EXPECT_TRUE(std::signbit(m[2]));
    EXPECT_EQ(m[1 + 4 * 1], 1.0f);
}

}  // namespace
