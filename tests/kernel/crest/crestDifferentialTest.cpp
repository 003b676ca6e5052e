// The optimized suppression against the plain loop, bit for bit, for every
// sampling version this processor runs (the portable one always).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "crest/interpolate.h"
#include "crest/lineSampler.h"
#include "crest/thin.h"
#include "crestPlain.h"

namespace {

using crest::LineSampler;

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();
const float pi = static_cast<float>(M_PI);

std::vector<LineSampler> availableSamplers() {
    std::vector<LineSampler> found;
    for (LineSampler s : {LineSampler::scalar, LineSampler::sse2, LineSampler::avx2, LineSampler::avx512})
        if (crest::lineSamplerAvailable(s)) found.push_back(s);
    return found;
}

const char *nameOf(LineSampler s) {
    switch (s) {
    case LineSampler::avx512: return "avx512";
    case LineSampler::avx2: return "avx2";
    case LineSampler::sse2: return "sse2";
    default: return "scalar";
    }
}

bool sameBits(const std::vector<float> &a, const std::vector<float> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// First differing element, for the failure message.
std::string firstDifference(const std::vector<float> &expected, const std::vector<float> &got, int h) {
    for (size_t i = 0; i < expected.size(); ++i)
        if (std::memcmp(&expected[i], &got[i], sizeof(float)) != 0)
            return "row " + std::to_string(i % h) + " column " + std::to_string(i / h) + ": expected " +
                   std::to_string(expected[i]) + " got " + std::to_string(got[i]);
    return "none";
}

enum class Kind { continuous, ties, specials, sparse };

const char *nameOf(Kind k) {
    switch (k) {
    case Kind::continuous: return "continuous";
    case Kind::ties: return "ties";
    case Kind::specials: return "specials";
    default: return "sparse";
    }
}

struct Maps {
    std::vector<float> edge, orientation;
};

// continuous: values in [-1, 1] with zeros of both signs, angles over several
// turns. ties: a few small integers and angles on the pixel grid, so samples
// fall exactly on pixels and equal their limit. specials: NaN and infinite
// values and angles, huge and tiny angles. sparse: 5 % non-zero.
Maps randomMaps(int h, int w, Kind kind, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    const float gridAngles[] = {0.0f, pi / 2, pi, -pi / 2, pi / 4, -pi / 4, 3 * pi / 4, 2 * pi, -0.0f, 5 * pi / 2};
    const float tieValues[] = {0.0f, -0.0f, 1.0f, 2.0f, 2.0f, 3.0f, -1.0f, 1.0f, 2.0f, 0.5f};
    const float specialValues[] = {nan, inf, -inf, -0.0f, 0.0f, 1e-40f, -2.0f, 3.0f, 1e30f, 0.25f};
    const float specialAngles[] = {nan, inf, -inf, 1e30f, -3e7f, 1e-40f, 0.0f, 119.9f, 120.1f, 1e5f};
    Maps m;
    const size_t n = static_cast<size_t>(h) * static_cast<size_t>(w);
    m.edge.resize(n);
    m.orientation.resize(n);
    for (size_t i = 0; i < n; ++i) {
        float v = unit(rng) * 2.0f - 1.0f;
        float theta = (unit(rng) * 2.0f - 1.0f) * 4.0f * pi;
        switch (kind) {
        case Kind::continuous:
            if (pick(rng) < 3) v = pick(rng) < 5 ? 0.0f : -0.0f;
            break;
        case Kind::ties:
            v = tieValues[pick(rng)];
            if (pick(rng) < 8) theta = gridAngles[pick(rng)];
            break;
        case Kind::specials:
            if (pick(rng) < 3) v = specialValues[pick(rng)];
            if (pick(rng) < 3) theta = specialAngles[pick(rng)];
            break;
        case Kind::sparse:
            if (unit(rng) >= 0.05f) v = pick(rng) < 5 ? 0.0f : -0.0f;
            break;
        }
        m.edge[i] = v;
        m.orientation[i] = theta;
    }
    return m;
}

// Called outside a parallel region, both take every column.
std::vector<float> plainSuppression(const Maps &m, int h, int w, int radius, float multiplier) {
    std::vector<float> out(m.edge.size(), 7.0f);
    crestPlain::suppressNonMaxima(m.edge.data(), m.orientation.data(), radius, multiplier, h, w, out.data());
    return out;
}

std::vector<float> optimizedSuppression(LineSampler s, const Maps &m, int h, int w, int radius, float multiplier) {
    std::vector<float> out(m.edge.size(), 7.0f);
    crest::suppressNonMaximaWith(s, m.edge.data(), m.orientation.data(), radius, multiplier, h, w, out.data());
    return out;
}

TEST(CrestDifferential, EverySamplerMatchesThePlainLoop) {
    const auto samplers = availableSamplers();
    ASSERT_FALSE(samplers.empty());
    for (LineSampler s : samplers) std::printf("[ sampler  ] %s\n", nameOf(s));

    // Odd sizes, one row or one column, and columns of several stretches;
    // radius 9 makes the samplers pack their lines more than once.
    const struct {
        int h, w;
    } sizes[] = {{1, 1}, {1, 37}, {37, 1}, {2, 2}, {3, 5}, {17, 13}, {64, 3}, {531, 7}, {1100, 3}};
    const float multipliers[] = {1.0f, 1.01f, 0.5f, -2.0f};
    unsigned seed = 1;
    int suppressed = 0, kept = 0;
    for (const auto &size : sizes)
        for (Kind kind : {Kind::continuous, Kind::ties, Kind::specials, Kind::sparse}) {
            const Maps m = randomMaps(size.h, size.w, kind, seed++);
            for (int radius : {-1, 0, 1, 2, 3, 4, 9})
                for (float multiplier : multipliers) {
                    const auto expected = plainSuppression(m, size.h, size.w, radius, multiplier);
                    for (size_t i = 0; i < expected.size(); ++i) {
                        suppressed += expected[i] == 0.0f && m.edge[i] != 0.0f;
                        kept += expected[i] != 0.0f;
                    }
                    for (LineSampler s : samplers) {
                        const auto got = optimizedSuppression(s, m, size.h, size.w, radius, multiplier);
                        ASSERT_TRUE(sameBits(expected, got))
                            << nameOf(s) << " " << size.h << "x" << size.w << " " << nameOf(kind) << " r=" << radius
                            << " m=" << multiplier << ": " << firstDifference(expected, got, size.h);
                    }
                }
        }
    // The comparison means something only if both outcomes occur.
    EXPECT_GT(suppressed, 1000);
    EXPECT_GT(kept, 1000);
}

TEST(CrestDifferential, MapsWiderThanTheCeilingRuleCovers) {
    for (auto [h, w] : {std::pair{2, 32771}, std::pair{32771, 2}, std::pair{1, 40000}}) {
        const Maps m = randomMaps(h, w, Kind::ties, 99u + h);
        for (int radius : {1, 3}) {
            const auto expected = plainSuppression(m, h, w, radius, 1.0f);
            for (LineSampler s : availableSamplers())
                ASSERT_TRUE(sameBits(expected, optimizedSuppression(s, m, h, w, radius, 1.0f)))
                    << nameOf(s) << " " << h << "x" << w << " r=" << radius;
        }
    }
}

TEST(CrestDifferential, WholeThinningOnAnyTeam) {
    // The dispatched kernel inside the region, column blocks and margin pass.
    for (auto [h, w] : {std::pair{61, 83}, std::pair{600, 9}, std::pair{5, 300}}) {
        const Maps m = randomMaps(h, w, Kind::continuous, 7u + w);
        std::vector<float> expected(m.edge.size());
        crestPlain::thinEdges(m.edge.data(), m.orientation.data(), h, w, 2, 1.01f, 5, 1, expected.data());
        for (int team : {1, 2, 3, 7}) {
            std::vector<float> got(m.edge.size(), 7.0f);
            crest::thinEdges(m.edge.data(), m.orientation.data(), h, w, 2, 1.01f, 5, team, got.data());
            ASSERT_TRUE(sameBits(expected, got)) << h << "x" << w << " team " << team << ": "
                                                 << firstDifference(expected, got, h);
        }
    }
}

// The largest single value not above size - 1.001 (in double): a coordinate
// is above the ceiling exactly when it is above this value, since no single
// value lies between the two.
TEST(ClampLimits, ThresholdIsTheLargestSingleNotAboveTheCeiling) {
    auto check = [](int32_t size) {
        const double ceiling = static_cast<double>(size) - 1.001;
        const crest::ClampLimits limits = crest::clampLimits(size);
        const float above = std::nextafter(limits.threshold, inf);
        return limits.ceiling == static_cast<float>(ceiling) && static_cast<double>(limits.threshold) <= ceiling &&
               static_cast<double>(above) > ceiling;
    };
    for (int32_t size = 1; size <= (1 << 22); ++size) ASSERT_TRUE(check(size)) << size;
    for (int64_t size = 1 << 22; size <= std::numeric_limits<int32_t>::max(); size += 104729)
        ASSERT_TRUE(check(static_cast<int32_t>(size))) << size;
    ASSERT_TRUE(check(std::numeric_limits<int32_t>::max()));

    // And directly: the single comparison agrees with the double one on the
    // values around the threshold, for every size the batch samplers take.
    for (int32_t size = 2; size <= 32769; ++size) {
        const double ceiling = static_cast<double>(size) - 1.001;
        const crest::ClampLimits limits = crest::clampLimits(size);
        float p = limits.threshold;
        for (int i = 0; i < 8; ++i) p = std::nextafter(p, -inf);
        for (int i = 0; i < 16; ++i, p = std::nextafter(p, inf))
            ASSERT_EQ(static_cast<double>(p) > ceiling, p > limits.threshold) << size << " " << p;
    }
}

// Lines from pixels of one column, for the samplers alone.
struct Line {
    int32_t row;
    float cs, sn, limit;
};

// Runs every sampler on the lines, in batches of distinct rows, and checks
// which pixels each one cleared against the plain loop on the same lines.
void expectSamplersAgree(const std::vector<float> &edge, int h, int w, int x, const std::vector<Line> &lines) {
    const crest::SampledMap map = crest::sampledMap(edge.data(), h, w);
    std::vector<std::vector<Line>> batches;
    for (const Line &l : lines) {
        auto fits = [&](const std::vector<Line> &b) {
            if (b.size() >= static_cast<size_t>(crest::batchRows)) return false;
            for (const Line &m : b)
                if (m.row == l.row) return false;
            return true;
        };
        auto found = std::find_if(batches.begin(), batches.end(), fits);
        if (found == batches.end()) found = batches.insert(batches.end(), std::vector<Line>{});
        found->push_back(l);
    }
    for (const auto &lanes : batches)
        for (LineSampler sampler : availableSamplers()) {
            std::vector<int32_t> rows(crest::batchCapacity);
            std::vector<float> sines(crest::batchCapacity), cosines(crest::batchCapacity), limits(crest::batchCapacity);
            for (size_t k = 0; k < lanes.size(); ++k) {
                rows[k] = lanes[k].row;
                cosines[k] = lanes[k].cs;
                sines[k] = lanes[k].sn;
                limits[k] = lanes[k].limit;
            }
            std::vector<float> thinned(h, 1.0f);
            crest::LineBatch batch{rows.data(), sines.data(), cosines.data(), limits.data(),
                                   static_cast<int32_t>(lanes.size())};
            crest::sampleLinesWith(sampler, map, x, 1, batch, thinned.data());
            for (const Line &l : lanes) {
                const bool stronger = crestPlain::strongerAlongLine(edge.data(), h, w, static_cast<float>(x),
                                                                    static_cast<float>(l.row), l.cs, l.sn, 1, l.limit);
                const float expected = stronger ? 0.0f : 1.0f;
                ASSERT_EQ(std::memcmp(&thinned[l.row], &expected, sizeof expected), 0)
                    << nameOf(sampler) << " " << h << "x" << w << " column " << x << " row " << l.row << " cs "
                    << l.cs << " sn " << l.sn << " limit " << l.limit;
            }
        }
}

// On a map rising along both axes, with cs and sn at least 0, the sample one
// step ahead is the largest on a line of radius 1. Each line goes in twice,
// with the limit at that sample and one step below it, so any change in how
// a sampler computes it flips one of the two.
void addPairOfLines(const std::vector<float> &edge, int h, int w, int x, int32_t row, float cs, float sn,
                    std::vector<Line> &lines) {
    const float ahead = crest::interpolateBilinear(edge.data(), h, w, static_cast<float>(x) + cs,
                                                   static_cast<float>(row) + sn);
    const Line at{row, cs, sn, ahead}, below{row, cs, sn, std::nextafter(ahead, -inf)};
    ASSERT_FALSE(crestPlain::strongerAlongLine(edge.data(), h, w, static_cast<float>(x), static_cast<float>(row), cs, sn,
                                               1, at.limit))
        << "the sample ahead is not the largest";
    ASSERT_TRUE(crestPlain::strongerAlongLine(edge.data(), h, w, static_cast<float>(x), static_cast<float>(row), cs, sn,
                                              1, below.limit));
    lines.push_back(at);
    lines.push_back(below);
}

// Strictly rising along both axes by random steps.
std::vector<float> risingMap(int h, int w, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> step(0.01f, 1.0f);
    std::vector<float> across(w), down(h);
    for (int x = 0; x < w; ++x) across[x] = (x ? across[x - 1] : 1.0f) + step(rng);
    for (int y = 0; y < h; ++y) down[y] = (y ? down[y - 1] : 1.0f) + step(rng);
    std::vector<float> edge(static_cast<size_t>(h) * w);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) edge[y + static_cast<size_t>(h) * x] = across[x] * down[y];
    return edge;
}

// Positions just below, at and above the clamp threshold and the rounded
// ceiling of each dimension (and one inside), reached from pixels of the
// column before the last, on rows above the last. The offsets are exact, so
// the step +1 lands on each position exactly.
TEST(CrestDifferential, SamplersAtTheClampThresholds) {
    for (auto [h, w] : {std::pair{2, 2}, std::pair{3, 4}, std::pair{9, 17}, std::pair{40, 1000}, std::pair{2, 32769},
                        std::pair{32769, 2}}) {
        auto positionsAround = [](crest::ClampLimits limits, int inside) {
            std::vector<float> out{static_cast<float>(inside) + 0.5f};
            for (float target : {limits.threshold, limits.ceiling}) {
                float t = target;
                for (int i = 0; i < 3; ++i) t = std::nextafter(t, -inf);
                for (int i = 0; i < 7; ++i, t = std::nextafter(t, inf)) out.push_back(t);
            }
            return out;
        };
        const auto edge = risingMap(h, w, 5u + h);
        const int x = w - 2;
        std::vector<Line> lines;
        int32_t row = 0;
        for (float px : positionsAround(crest::clampLimits(w), x))
            for (float py : positionsAround(crest::clampLimits(h), h - 2)) {
                row = (row + 1) % (h - 1);  // rows 0 .. h-2, all below py
                addPairOfLines(edge, h, w, x, row, px - static_cast<float>(x), py - static_cast<float>(row), lines);
            }
        expectSamplersAgree(edge, h, w, x, lines);
    }
}

// Random lines all over random maps, out of the map included.
TEST(CrestDifferential, SamplersOnRandomLines) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> offset(0.0f, 1.5f);
    for (auto [h, w] : {std::pair{5, 7}, std::pair{64, 33}, std::pair{300, 200}}) {
        const auto edge = risingMap(h, w, 31u + w);
        std::uniform_int_distribution<int> row(0, h - 1), column(0, w - 1);
        for (int columns = 0; columns < 8; ++columns) {
            const int x = column(rng);
            std::vector<Line> lines;
            while (lines.size() < 400) {
                const float cs = offset(rng), sn = offset(rng);
                if (cs + sn >= 0.2f) addPairOfLines(edge, h, w, x, row(rng), cs, sn, lines);  // samples apart
            }
            expectSamplersAgree(edge, h, w, x, lines);
        }
    }
}

}  // namespace
