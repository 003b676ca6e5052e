// Edge thinning kernels called as plain functions: the plain loop of
// crest/reference.h on worked examples, and every kernel version against it,
// bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "crest/interpolate.h"
#include "crest/lineSampler.h"
#include "crest/reference.h"
#include "crest/thin.h"
#include "tests/kernel/versionsChecked.h"
#include "tests/support.h"

namespace {

using support::EdgeKind;
using support::EdgeMaps;
using support::sameBits;

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();
const float pi = 3.14159265f;

// The versions this build has, this processor runs and CRESTSPLIT_ISA
// allows; the run's end names the others.
std::vector<cpu::Isa> versionsHere() { return support::versionsHere("crest", crest::lineSamplerVersions); }

// Called outside a parallel region, both take every column.
std::vector<float> plain(const EdgeMaps &m, int32_t radius, float multiplier) {
    std::vector<float> out(m.edge.size(), 7.0f);
    crest::reference::suppressNonMaxima(m.edge.data(), m.orientation.data(), radius, multiplier, m.h, m.w, {0, m.w},
                                        out.data());
    return out;
}

std::vector<float> kernel(cpu::Isa isa, const EdgeMaps &m, int32_t radius, float multiplier) {
    std::vector<float> out(m.edge.size(), 7.0f);
    crest::suppressNonMaximaWith(isa, m.edge.data(), m.orientation.data(), radius, multiplier, m.h, m.w, {0, m.w},
                                 out.data());
    return out;
}

// The result of the plain loop (reference.h), once every version has given
// the same bits.
std::vector<float> suppressed(const EdgeMaps &m, int32_t radius, float multiplier) {
    const std::vector<float> expected = plain(m, radius, multiplier);
    for (cpu::Isa isa : versionsHere()) {
        const std::vector<float> got = kernel(isa, m, radius, multiplier);
        EXPECT_TRUE(sameBits(expected, got)) << cpu::name(isa) << " " << m.h << "x" << m.w << " r=" << radius
                                             << " m=" << multiplier << ": "
                                             << support::firstDifference(expected, got);
    }
    return expected;
}

TEST(InterpolateBilinear, SamplesAndClamps) {
    auto m = support::blankEdgeMaps(3, 4);  // value 10 y + x
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y) m.edge[m.at(y, x)] = 10.0f * y + x;
    const struct {
        float px, py, expected;
    } cases[] = {
        {1.0f, 1.0f, 11.0f},    // a pixel centre
        {1.5f, 0.0f, 1.5f},     // halfway along a row
        {0.0f, 0.5f, 5.0f},     // halfway down a column
        {-3.0f, -0.5f, 0.0f},   // negative coordinates read at 0
        {nan, nan, 0.0f},       // NaN reads at 0 as well
        {1.25f, 1.5f, 16.25f},  // inside a cell
    };
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(crest::interpolateBilinear(m.edge.data(), 3, 4, c.px, c.py), c.expected) << c.px << "," << c.py;

    // Beyond the last column the position is w - 1.001 rounded to single:
    // almost all of the last column, a thousandth of the one before.
    const float fx = static_cast<float>(4 - 1.001) - 2.0f;
    const float expected = ((1.0f - fx) * 12.0f) * 1.0f + (fx * 13.0f) * 1.0f + ((1.0f - fx) * 22.0f) * 0.0f +
                           (fx * 23.0f) * 0.0f;
    EXPECT_EQ(crest::interpolateBilinear(m.edge.data(), 3, 4, 100.0f, 1.0f), expected);

    // Maps one pixel across keep the +1 neighbour inside.
    const float line[] = {1.0f, 2.0f, 3.0f};
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(line, 3, 1, 5.0f, 1.5f), 2.5f);
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(line, 1, 3, 0.5f, -7.0f), 1.5f);
    EXPECT_FLOAT_EQ(crest::interpolateBilinear(line, 1, 1, 3.0f, 3.0f), 1.0f);

    // So do maps wider than the ceiling covers, where a coordinate beyond the
    // last pixel clamps onto it: the neighbour of weight 0 is the last pixel
    // again, and the NaN everywhere else is not read.
    const int32_t side = 32771;
    std::vector<float> wide(2 * side, nan);
    wide[2 * side - 2] = wide[2 * side - 1] = 4.0f;  // the last column
    EXPECT_EQ(crest::interpolateBilinear(wide.data(), 2, side, 1e9f, 0.0f), 4.0f);
    std::vector<float> tall(2 * side, nan);
    tall[side - 1] = tall[2 * side - 1] = 4.0f;  // the last row
    EXPECT_EQ(crest::interpolateBilinear(tall.data(), side, 2, 0.0f, 1e9f), 4.0f);
}

// The pixel at row 2, column 3 of a 5 x 8 map, with neighbours in its row
// (left, right, and `far` three columns right) and the one above it.
TEST(Suppression, WorkedExamples) {
    const struct {
        const char *name;
        float left, centre, right, far, above, theta;
        int32_t radius;
        float multiplier, expected;
    } cases[] = {
        {"stronger neighbour suppresses", 1, 2, 3, 0, 0, 0, 1, 1.0f, 0},
        {"equal neighbour does not", 2, 2, 2, 0, 0, 0, 1, 1.0f, 2},
        {"multiplier lifts the limit", 2.1f, 2, 1, 0, 0, 0, 1, 1.1f, 2},
        {"limit just below a neighbour", 2.3f, 2, 1, 0, 0, 0, 1, 1.1f, 0},
        {"NaN pixel is kept", 5, nan, 5, 0, 0, 0, 1, 1.0f, nan},
        {"NaN neighbour never suppresses", nan, 2, 1, 0, 0, 0, 1, 1.0f, 2},
        {"negative pixel below a zero neighbour", 0, -2, -3, 0, 0, 0, 1, 1.0f, 0},
        {"negative pixel above its neighbours", -3, -2, -3, 0, 0, 0, 1, 1.0f, -2},
        {"local maximum stands", 1, 3, 2, 0, 0, 0, 1, 1.0f, 3},
        {"the row moves with the sine", 9, 2, 0, 0, 3, pi / 2, 1, 1.0f, 0},
        {"off the line does not count", 9, 2, 0, 0, 1, pi / 2, 1, 1.0f, 2},
        {"radius 2 falls short", 0, 2, 0, 5, 0, 0, 2, 1.0f, 2},
        {"radius 3 reaches", 0, 2, 0, 5, 0, 0, 3, 1.0f, 0},
        {"NaN orientation keeps the pixel", 9, 2, 9, 0, 0, nan, 1, 1.0f, 2},
        {"infinite orientation keeps the pixel", 9, 2, 9, 0, 0, -inf, 1, 1.0f, 2},
    };
    for (const auto &c : cases) {
        auto m = support::blankEdgeMaps(5, 8);
        m.edge[m.at(2, 2)] = c.left;
        m.edge[m.at(2, 3)] = c.centre;
        m.edge[m.at(2, 4)] = c.right;
        m.edge[m.at(2, 6)] = c.far;
        m.edge[m.at(1, 3)] = c.above;
        m.orientation[m.at(2, 3)] = c.theta;
        const float got = suppressed(m, c.radius, c.multiplier)[m.at(2, 3)];
        EXPECT_TRUE(got == c.expected || (std::isnan(got) && std::isnan(c.expected))) << c.name << ": " << got;
    }
}

TEST(Suppression, CopiesWhereNothingIsCompared) {
    const EdgeMaps m = support::edgeMaps(6, 9, EdgeKind::continuous, 7);
    for (int32_t radius : {0, -1, std::numeric_limits<int32_t>::min()})
        EXPECT_TRUE(sameBits(suppressed(m, radius, 1.0f), m.edge)) << radius;

    // Zeros keep their sign, and no orientation is read for them.
    auto zeros = support::blankEdgeMaps(4, 4);
    for (size_t i = 0; i < zeros.edge.size(); i += 2) zeros.edge[i] = -0.0f;
    std::vector<float> out(zeros.edge.size(), 1.0f);
    crest::thinEdges(zeros.edge.data(), nullptr, 4, 4, 3, 1.0f, 0, 2, out.data());
    EXPECT_TRUE(sameBits(out, zeros.edge));
}

TEST(Suppression, EveryVersionMatchesThePlainLoop) {
    // Odd sizes, one row or one column, and columns of several stretches;
    // radius 9 makes the samplers pack their lines more than once.
    const struct {
        int32_t h, w;
    } sizes[] = {{1, 1}, {1, 37}, {37, 1}, {2, 2}, {3, 5}, {17, 13}, {64, 3}, {531, 7}, {1100, 3}};
    unsigned seed = 1;
    int suppressedPixels = 0, keptPixels = 0;
    for (const auto &size : sizes)
        for (EdgeKind kind : {EdgeKind::continuous, EdgeKind::ties, EdgeKind::specials, EdgeKind::sparse}) {
            const EdgeMaps m = support::edgeMaps(size.h, size.w, kind, seed++);
            for (int32_t radius : {-1, 0, 1, 2, 3, 4, 9})
                for (float multiplier : {1.0f, 1.01f, 0.5f, -2.0f}) {
                    const std::vector<float> expected = suppressed(m, radius, multiplier);
                    for (size_t i = 0; i < expected.size(); ++i) {
                        suppressedPixels += expected[i] == 0.0f && m.edge[i] != 0.0f;
                        keptPixels += expected[i] != 0.0f;
                    }
                }
        }
    // The comparison means something only if both outcomes occur.
    EXPECT_GT(suppressedPixels, 1000);
    EXPECT_GT(keptPixels, 1000);
}

TEST(Suppression, MapsWiderThanTheCeilingRuleCovers) {
    for (auto [h, w] : {std::pair{2, 32771}, std::pair{32771, 2}, std::pair{1, 40000}}) {
        const EdgeMaps m = support::edgeMaps(h, w, EdgeKind::ties, 99u + h);
        for (int32_t radius : {1, 3}) suppressed(m, radius, 1.0f);
    }
}

// Radii beyond the map, where the kernels stop a line once its samples only
// repeat: angles on the axes (an exact zero sine, a cosine of -4e-8), plateaus,
// columns of more than one chunk of lines, and a map too thin to batch.
TEST(Suppression, RadiiBeyondTheMap) {
    const EdgeMaps maps[] = {support::edgeMaps(9, 13, EdgeKind::ties, 3), support::plateauMaps(16, 12, true, 5),
                             support::edgeMaps(150, 4, EdgeKind::continuous, 4),
                             support::edgeMaps(1, 30, EdgeKind::ties, 6)};
    for (const EdgeMaps &m : maps)
        for (int32_t radius : {std::max(m.h, m.w) + 1, 200, 1000}) suppressed(m, radius, 1.0f);
}

TEST(Suppression, WholeThinningOnAnyTeam) {
    for (auto [h, w] : {std::pair{61, 83}, std::pair{600, 9}, std::pair{5, 300}}) {
        const EdgeMaps m = support::edgeMaps(h, w, EdgeKind::continuous, 7u + w);
        std::vector<float> expected(m.edge.size());
        crest::reference::thinEdges(m.edge.data(), m.orientation.data(), h, w, 2, 1.01f, 5, 1, expected.data());
        for (int team : {1, 2, 3, 8, 200}) {
            std::vector<float> got(m.edge.size(), 7.0f);
            crest::thinEdges(m.edge.data(), m.orientation.data(), h, w, 2, 1.01f, 5, team, got.data());
            EXPECT_TRUE(sameBits(expected, got)) << h << "x" << w << " team " << team << ": "
                                                 << support::firstDifference(expected, got);
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
}

// A column's copy and its candidates (row, angle bits, limit bits, quadrant
// group), listed stretch by stretch from row y0 with one version.
struct Listed {
    std::vector<float> copy;
    std::vector<std::array<uint32_t, 4>> candidates;
};
Listed listColumn(cpu::Isa isa, const EdgeMaps &m, int64_t column, int32_t y0) {
    Listed out{std::vector<float>(m.h, 7.0f), {}};
    auto c = std::make_unique<crest::Candidates>();
    const float *edge = m.edge.data() + column;
    for (int32_t y = y0, n; y < m.h;) {
        const int32_t end = isa == cpu::Isa::portable
                                ? crest::listCandidatesScalar(edge, out.copy.data(), m.orientation.data(), column,
                                                              1.5f, y, m.h, edge, *c, &n)
                                : crest::listCandidatesWith(isa, edge, out.copy.data(), m.orientation.data(), column,
                                                            1.5f, y, m.h, edge, *c, &n);
        if (end <= y || n > crest::batchRows) {
            ADD_FAILURE() << cpu::name(isa) << " listed rows " << y << " to " << end << ": " << n;
            break;
        }
        for (int32_t k = 0; k < n; ++k)
            out.candidates.push_back({static_cast<uint32_t>(c->rows[k]), support::bits(c->theta[k]),
                                      support::bits(c->limit[k]), static_cast<uint32_t>(c->group[k])});
        y = end;
    }
    return out;
}

// Every listing of candidates against the portable one, entry by entry, on
// columns of every length up to two groups and on one that fills several
// batches, from every row.
TEST(Listing, EveryVersionListsThePortableCandidates) {
    for (EdgeKind kind : {EdgeKind::specials, EdgeKind::sparse, EdgeKind::continuous})
        for (int32_t h : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 23, 31, 32, 33, 1100}) {
            const EdgeMaps m = support::edgeMaps(h, 2, kind, 50u + h);
            for (int32_t y0 = 0; y0 < h; y0 += h > 40 ? 97 : 1) {
                const Listed expected = listColumn(cpu::Isa::portable, m, h, y0);
                for (cpu::Isa isa : versionsHere()) {
                    const Listed got = listColumn(isa, m, h, y0);
                    EXPECT_TRUE(sameBits(got.copy, expected.copy) && got.candidates == expected.candidates)
                        << cpu::name(isa) << " h " << h << " from row " << y0;
                }
            }
        }
}

// Lines from pixels of one column, for the samplers alone.
struct Line {
    int32_t row;
    float cs, sn, limit;
};

bool strongerWithin(const std::vector<float> &edge, int32_t h, int32_t w, int32_t x, const Line &l) {
    return crest::reference::firstStrongerStep(edge.data(), h, w, l.row, x, l.sn, l.cs, l.limit, 1) != 0;
}

// Runs every sampler on the lines, in batches of distinct rows, and checks
// which pixels each one cleared against the search of crest/reference.h.
void expectSamplersAgree(const std::vector<float> &edge, int32_t h, int32_t w, int32_t x,
                         const std::vector<Line> &lines) {
    const crest::SampledMap map = crest::sampledMap(edge.data(), h, w);
    std::vector<std::vector<Line>> batches;
    for (const Line &l : lines) {
        auto fits = [&](const std::vector<Line> &b) {
            return b.size() < static_cast<size_t>(crest::batchRows) &&
                   std::none_of(b.begin(), b.end(), [&](const Line &m) { return m.row == l.row; });
        };
        auto found = std::find_if(batches.begin(), batches.end(), fits);
        if (found == batches.end()) found = batches.insert(batches.end(), std::vector<Line>{});
        found->push_back(l);
    }
    for (const auto &lanes : batches)
        for (cpu::Isa isa : versionsHere()) {
            std::vector<int32_t> rows(crest::batchCapacity);
            std::vector<float> sines(crest::batchCapacity), cosines(crest::batchCapacity),
                limits(crest::batchCapacity);
            for (size_t k = 0; k < lanes.size(); ++k) {
                rows[k] = lanes[k].row;
                cosines[k] = lanes[k].cs;
                sines[k] = lanes[k].sn;
                limits[k] = lanes[k].limit;
            }
            std::vector<float> thinned(h, 1.0f);
            crest::LineBatch batch{rows.data(), sines.data(), cosines.data(), limits.data(),
                                   static_cast<int32_t>(lanes.size())};
            crest::sampleLinesWith(isa, map, x, 1, batch, thinned.data());
            for (const Line &l : lanes)
                ASSERT_EQ(support::bits(thinned[l.row]), support::bits(strongerWithin(edge, h, w, x, l) ? 0.0f : 1.0f))
                    << cpu::name(isa) << " " << h << "x" << w << " column " << x << " row " << l.row << " cs " << l.cs
                    << " sn " << l.sn << " limit " << l.limit;
        }
}

// On a map rising along both axes, with cs and sn at least 0, the sample one
// step ahead is the largest on a line of radius 1. Each line goes in twice,
// with the limit at that sample and one step below it, so any change in how
// a sampler computes it flips one of the two.
void addPairOfLines(const std::vector<float> &edge, int32_t h, int32_t w, int32_t x, int32_t row, float cs, float sn,
                    std::vector<Line> &lines) {
    const float ahead = crest::reference::bilinearSample(edge.data(), h, w, static_cast<float>(x) + cs,
                                                         static_cast<float>(row) + sn);
    const Line at{row, cs, sn, ahead}, below{row, cs, sn, std::nextafter(ahead, -inf)};
    ASSERT_FALSE(strongerWithin(edge, h, w, x, at)) << "the sample ahead is not the largest";
    ASSERT_TRUE(strongerWithin(edge, h, w, x, below));
    lines.push_back(at);
    lines.push_back(below);
}

// Strictly rising along both axes by random steps.
std::vector<float> risingMap(int32_t h, int32_t w, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> step(0.01f, 1.0f);
    std::vector<float> across(w), down(h);
    for (int32_t x = 0; x < w; ++x) across[x] = (x ? across[x - 1] : 1.0f) + step(rng);
    for (int32_t y = 0; y < h; ++y) down[y] = (y ? down[y - 1] : 1.0f) + step(rng);
    std::vector<float> edge(static_cast<size_t>(h) * w);
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) edge[y + static_cast<size_t>(h) * x] = across[x] * down[y];
    return edge;
}

// Positions just below, at and above the clamp threshold and the rounded
// ceiling of each dimension (and one inside), reached from pixels of the
// column before the last, on rows above the last. The offsets are exact, so
// the step +1 lands on each position exactly.
TEST(Samplers, AtTheClampThresholds) {
    for (auto [h, w] : {std::pair{2, 2}, std::pair{3, 4}, std::pair{9, 17}, std::pair{40, 1000}, std::pair{2, 32769},
                        std::pair{32769, 2}}) {
        auto positionsAround = [](crest::ClampLimits limits, int32_t inside) {
            std::vector<float> out{static_cast<float>(inside) + 0.5f};
            for (float target : {limits.threshold, limits.ceiling}) {
                float t = target;
                for (int i = 0; i < 3; ++i) t = std::nextafter(t, -inf);
                for (int i = 0; i < 7; ++i, t = std::nextafter(t, inf)) out.push_back(t);
            }
            return out;
        };
        const auto edge = risingMap(h, w, 5u + h);
        const int32_t x = w - 2;
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
TEST(Samplers, OnRandomLines) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> offset(0.0f, 1.5f);
    for (auto [h, w] : {std::pair{5, 7}, std::pair{64, 33}, std::pair{300, 200}}) {
        const auto edge = risingMap(h, w, 31u + w);
        std::uniform_int_distribution<int32_t> row(0, h - 1), column(0, w - 1);
        for (int columns = 0; columns < 8; ++columns) {
            const int32_t x = column(rng);
            std::vector<Line> lines;
            // A failed check adds no line: the attempts are bounded.
            for (int attempt = 0; attempt < 1000 && lines.size() < 400; ++attempt) {
                const float cs = offset(rng), sn = offset(rng);
                if (cs + sn >= 0.2f) addPairOfLines(edge, h, w, x, row(rng), cs, sn, lines);  // samples apart
                if (HasFatalFailure()) return;
            }
            ASSERT_EQ(lines.size(), 400u);
            expectSamplersAgree(edge, h, w, x, lines);
        }
    }
}

// Column bands first, then row bands: a corner gets (v * column factor) *
// row factor. Factors k / b with b = 3, 5 and 7 round, so the other order
// would show.
TEST(AttenuateMargin, BandWidthAndFactors) {
    const struct {
        int32_t h, w, margin, band;
    } cases[] = {{10, 100, 20, 5}, {8, 8, 1, 1}, {9, 9, 4, 4}, {7, 12, 3, 3}, {15, 14, 7, 7},
                 {1, 9, 3, 0},     {9, 1, 3, 0}, {6, 6, 0, 0}, {6, 6, -2, 0}};
    const float v = 0.1f + 1.0f / 3.0f;
    for (const auto &c : cases) {
        std::vector<float> m(static_cast<size_t>(c.h) * c.w, v);
        crest::attenuateMargin(m.data(), c.h, c.w, c.margin);
        auto factor = [&](int32_t k) { return static_cast<float>(k) / static_cast<float>(c.band); };
        for (int32_t x = 0; x < c.w; ++x)
            for (int32_t y = 0; y < c.h; ++y) {
                float expected = v;
                if (x < c.band) expected = expected * factor(x);
                if (x >= c.w - c.band) expected = expected * factor(c.w - 1 - x);
                if (y < c.band) expected = expected * factor(y);
                if (y >= c.h - c.band) expected = expected * factor(c.h - 1 - y);
                ASSERT_EQ(m[y + static_cast<size_t>(c.h) * x], expected)
                    << c.h << "x" << c.w << " margin " << c.margin << " at " << y << "," << x;
            }
    }
}

TEST(AttenuateMargin, ZeroFactorFollowsIeee) {
    std::vector<float> m(16, 1.0f);
    m[0] = nan;
    m[1] = inf;
    m[2] = -5.0f;
    crest::attenuateMargin(m.data(), 4, 4, 1);
    EXPECT_TRUE(std::isnan(m[0]));
    EXPECT_TRUE(std::isnan(m[1]));
    EXPECT_EQ(support::bits(m[2]), support::bits(-0.0f));
    EXPECT_EQ(m[1 + 4 * 1], 1.0f);
}

}  // namespace
