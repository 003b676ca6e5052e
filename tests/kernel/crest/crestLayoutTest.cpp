// The thinning read in place from maps in other memory layouts (row-major,
// padded, lines or the pixels along them reversed, one map laid out unlike
// the other): every version gives the plain loop's bits on the column-major
// copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crest/lineSampler.h"
#include "crest/reference.h"
#include "crest/thin.h"
#include "tests/kernel/versionsChecked.h"
#include "tests/support.h"

namespace {

using support::EdgeKind;
using support::EdgeMaps;

// A map stored with pixel (i, j) at buffer[origin + i * rowStep + j * columnStep].
struct Layout {
    const char *name;
    bool rowMajor;
    int64_t pad;        // extra elements between lines
    bool reverseLines;  // lines stored last first (a negative step)
    bool reverseAlong;  // each line's pixels stored last first (step -1)
};

const Layout layouts[] = {
    {"column-major", false, 0, false, false},
    {"row-major", true, 0, false, false},
    {"padded columns", false, 3, false, false},
    {"padded rows", true, 5, false, false},
    {"reversed columns", false, 0, true, false},
    {"reversed rows", true, 2, true, false},
    {"columns upside down", false, 0, false, true},
    {"rows right to left", true, 0, false, true},
    {"padded columns, both axes reversed", false, 3, true, true},
};
// The orientation map beside an edge map: laid out alike (the SIMD listing,
// either direction), with reversed padded rows, and reversed along the other
// axis (the strided listing).
std::vector<Layout> orientationLayoutsFor(const Layout &edge) {
    return {edge, layouts[5], edge.rowMajor ? layouts[6] : layouts[7]};
}

struct Stored {
    std::vector<float> buffer;
    crest::MapView view;
};

Stored store(const std::vector<float> &columnMajor, int32_t h, int32_t w, const Layout &l) {
    const int64_t along = l.rowMajor ? w : h, lines = l.rowMajor ? h : w;
    const int64_t stride = along + l.pad;
    Stored s{std::vector<float>(static_cast<size_t>(stride * lines + 1), -99.0f), {}};
    const int64_t origin = (l.reverseLines ? stride * (lines - 1) : 0) + (l.reverseAlong ? along - 1 : 0);
    const int64_t lineStep = l.reverseLines ? -stride : stride, alongStep = l.reverseAlong ? -1 : 1;
    const int64_t rowStep = l.rowMajor ? lineStep : alongStep, columnStep = l.rowMajor ? alongStep : lineStep;
    for (int64_t j = 0; j < w; ++j)
        for (int64_t i = 0; i < h; ++i)
            s.buffer[static_cast<size_t>(origin + i * rowStep + j * columnStep)] = columnMajor[i + h * j];
    s.view = {s.buffer.data() + origin, rowStep, columnStep};
    return s;
}

// The thinned map back in column order.
std::vector<float> columnOrder(const std::vector<float> &thinned, int32_t h, int32_t w, bool rowMajor) {
    if (!rowMajor) return thinned;
    std::vector<float> out(thinned.size());
    for (int64_t i = 0; i < h; ++i)
        for (int64_t j = 0; j < w; ++j) out[i + h * j] = thinned[i * w + j];
    return out;
}

void expectLayoutsMatch(const EdgeMaps &m, int32_t radius, int32_t margin) {
    std::vector<float> expected(m.edge.size());
    crest::reference::thinEdges(m.edge.data(), m.orientation.data(), m.h, m.w, radius, 1.01f, margin, 1,
                                expected.data());
    for (const Layout &edgeLayout : layouts)
        for (const Layout &orientationLayout : orientationLayoutsFor(edgeLayout)) {
            const Stored edge = store(m.edge, m.h, m.w, edgeLayout);
            const Stored orientation = store(m.orientation, m.h, m.w, orientationLayout);
            const bool byRows = crest::walkOf(edge.view, m.h, m.w) == crest::Walk::byRows;
            ASSERT_NE(crest::walkOf(edge.view, m.h, m.w), crest::Walk::notInPlace);
            for (cpu::Isa isa : support::versionsHere("crest", crest::lineSamplerVersions)) {
                std::vector<float> got(m.edge.size(), 7.0f);
                crest::thinEdgesWith(isa, edge.view, orientation.view, m.h, m.w, radius, 1.01f, margin, 2,
                                     got.data());
                const std::vector<float> inColumns = columnOrder(got, m.h, m.w, byRows);
                EXPECT_TRUE(support::sameBits(expected, inColumns))
                    << cpu::name(isa) << " " << m.h << "x" << m.w << " r=" << radius << " edge "
                    << edgeLayout.name << ", orientation " << orientationLayout.name << ": "
                    << support::firstDifference(expected, inColumns);
            }
        }
}

TEST(Layouts, EveryLayoutGivesTheColumnMajorBits) {
    const struct {
        int32_t h, w;
    } sizes[] = {{1, 1}, {1, 37}, {37, 1}, {2, 2}, {17, 13}, {531, 7}, {7, 531}};
    unsigned seed = 40;
    for (const auto &size : sizes)
        for (EdgeKind kind : {EdgeKind::continuous, EdgeKind::ties, EdgeKind::specials, EdgeKind::sparse}) {
            const EdgeMaps m = support::edgeMaps(size.h, size.w, kind, seed++);
            // A radius beyond the map takes the long-radius path.
            const int32_t beyond = std::max(size.h, size.w) < 100 ? std::max(size.h, size.w) + 2 : 9;
            for (int32_t radius : {0, 1, 3, 9, beyond}) expectLayoutsMatch(m, radius, 3);
        }
}

// Too wide for the batch samplers: the one-sample-at-a-time path, walked by rows too.
TEST(Layouts, MapsWiderThanTheCeilingRuleCovers) {
    for (auto [h, w] : {std::pair{2, 32771}, std::pair{32771, 2}}) {
        const EdgeMaps m = support::edgeMaps(h, w, EdgeKind::ties, 7u + h);
        expectLayoutsMatch(m, 2, 1);
    }
}

TEST(Layouts, WalksInPlaceOnlyWhereALineIsContiguous) {
    const float pixel = 0.0f;
    const struct {
        int64_t rowStep, columnStep;
        crest::Walk walk;
    } cases[] = {
        {1, 4, crest::Walk::byColumns},       {3, 1, crest::Walk::byRows},
        {1, -4, crest::Walk::byColumns},      {-3, 1, crest::Walk::byRows},
        {1, 0, crest::Walk::byColumns},       {2, 8, crest::Walk::notInPlace},
        {-1, -4, crest::Walk::byColumns},     {-1, 4, crest::Walk::byColumns},
        {3, -1, crest::Walk::byRows},         {-3, -1, crest::Walk::byRows},
        {-1, 1, crest::Walk::byRows},         {2, -8, crest::Walk::notInPlace},
        {1, int64_t{1} << 31, crest::Walk::notInPlace}, {-1, -(int64_t{1} << 31), crest::Walk::notInPlace},
        {int64_t{1} << 30, 1, crest::Walk::notInPlace}, {int64_t{1} << 30, -1, crest::Walk::notInPlace},
    };
    for (const auto &c : cases)
        EXPECT_EQ(crest::walkOf({&pixel, c.rowStep, c.columnStep}, 4, 3), c.walk) << c.rowStep << "," << c.columnStep;
}

}  // namespace
