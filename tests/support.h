// What the tests, the platform checks and the benchmarks share: comparison
// to the bit, and the generators of the inputs they feed both a kernel and
// its reference.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace support {

// The same elements to the bit (NaN payloads and the sign of zero count).
template <typename T>
bool sameBits(const std::vector<T> &a, const std::vector<T> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// The first element whose bits differ, for a failure message.
template <typename T>
std::string firstDifference(const std::vector<T> &expected, const std::vector<T> &got) {
    if (expected.size() != got.size())
        return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(got.size());
    for (size_t i = 0; i < expected.size(); ++i)
        if (std::memcmp(&expected[i], &got[i], sizeof(T)) != 0)
            return "element " + std::to_string(i) + ": expected " + std::to_string(expected[i]) + ", got " +
                   std::to_string(got[i]);
    return "none";
}

inline uint32_t bits(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// ---------------------------------------------------------------------------
// Edge thinning: maps.

// An edge map and its orientation map, h rows by w columns, column-major.
struct EdgeMaps {
    int32_t h = 0, w = 0;
    std::vector<float> edge, orientation;
    size_t at(int32_t y, int32_t x) const { return static_cast<size_t>(y) + static_cast<size_t>(h) * x; }
};

inline EdgeMaps blankEdgeMaps(int32_t h, int32_t w) {
    EdgeMaps m;
    m.h = h;
    m.w = w;
    m.edge.assign(static_cast<size_t>(h) * static_cast<size_t>(w), 0.0f);
    m.orientation.assign(m.edge.size(), 0.0f);
    return m;
}

// continuous: strengths in [-1, 1], about a third of them zeros of either
// sign. ties: a few small integers and angles mostly on the pixel grid, so
// that samples fall on pixels and equal their limit. specials: NaN, infinite,
// huge and tiny values and angles among ordinary ones. sparse: 5 % non-zero.
// The other angles are uniform in [-angleSpan, angleSpan].
enum class EdgeKind { continuous, ties, specials, sparse };

inline EdgeMaps edgeMaps(int32_t h, int32_t w, EdgeKind kind, unsigned seed, float angleSpan = 12.566371f) {
    const float pi = 3.14159265f, nan = NAN, inf = INFINITY;
    const float gridAngles[] = {0.0f, pi / 2, pi, -pi / 2, pi / 4, -pi / 4, 3 * pi / 4, 2 * pi, -0.0f, 5 * pi / 2};
    const float tieValues[] = {0.0f, -0.0f, 1.0f, 2.0f, 2.0f, 3.0f, -1.0f, 1.0f, 2.0f, 0.5f};
    const float specialValues[] = {nan, inf, -inf, -0.0f, 0.0f, 1e-40f, -2.0f, 3.0f, 1e30f, 0.25f};
    const float specialAngles[] = {nan, inf, -inf, 1e30f, -3e7f, 1e-40f, 0.0f, 119.9f, 120.1f, 1e5f};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    EdgeMaps m = blankEdgeMaps(h, w);
    for (size_t i = 0; i < m.edge.size(); ++i) {
        float v = unit(rng) * 2.0f - 1.0f;
        float theta = (unit(rng) * 2.0f - 1.0f) * angleSpan;
        if (kind == EdgeKind::continuous && pick(rng) < 3) v = pick(rng) < 5 ? 0.0f : -0.0f;
        if (kind == EdgeKind::sparse && unit(rng) >= 0.05f) v = pick(rng) < 5 ? 0.0f : -0.0f;
        if (kind == EdgeKind::ties) {
            v = tieValues[pick(rng)];
            if (pick(rng) < 8) theta = gridAngles[pick(rng)];
        }
        if (kind == EdgeKind::specials) {
            if (pick(rng) < 3) v = specialValues[pick(rng)];
            if (pick(rng) < 3) theta = specialAngles[pick(rng)];
        }
        m.edge[i] = v;
        m.orientation[i] = theta;
    }
    return m;
}

// Strengths in (0, 1] on a share `density` of the pixels, the others +0;
// angles uniform in [-pi, pi]. The benchmark's maps.
inline EdgeMaps uniformEdgeMaps(int32_t h, int32_t w, double density, unsigned seed) {
    EdgeMaps m = blankEdgeMaps(h, w);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), angle(-3.14159265f, 3.14159265f);
    for (size_t i = 0; i < m.edge.size(); ++i) {
        const bool edge = density >= 1.0 || unit(rng) < density;
        m.edge[i] = edge ? 1.0f - unit(rng) : 0.0f;
        m.orientation[i] = angle(rng);
    }
    return m;
}

// Gradient magnitude and direction of smooth blobs and a ring: the edge maps
// the module is made for, with ridges that many samples nearly tie.
inline EdgeMaps ridgeMaps(int32_t h, int32_t w) {
    EdgeMaps m = blankEdgeMaps(h, w);
    auto image = [&](float y, float x) {
        const float dy = y - 0.4f * h, dx = x - 0.55f * w;
        const float ring = std::exp(-std::pow(std::sqrt(dx * dx + dy * dy) - 0.25f * w, 2.0f) / 18.0f);
        const float blob = std::exp(-((y - 0.7f * h) * (y - 0.7f * h) + (x - 0.2f * w) * (x - 0.2f * w)) / 60.0f);
        return ring + blob + (x > 0.8f * w ? 0.5f : 0.0f);
    };
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const float gx = image(y, x + 1.0f) - image(y, x - 1.0f);
            const float gy = image(y + 1.0f, x) - image(y - 1.0f, x);
            const float magnitude = std::sqrt(gx * gx + gy * gy);
            m.edge[m.at(y, x)] = magnitude < 0.02f ? 0.0f : magnitude;
            m.orientation[m.at(y, x)] = std::atan2(gy, gx);
        }
    return m;
}

// Blocks of 4 x 4 pixels of one of five levels (zero among them): whole
// neighbourhoods equal the pixel, and whether a sample exceeds it rests on the
// rounding of the weights. Angles on the axes and diagonals, or anywhere.
inline EdgeMaps plateauMaps(int32_t h, int32_t w, bool axisAngles, unsigned seed) {
    EdgeMaps m = blankEdgeMaps(h, w);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> level(0, 4);
    std::uniform_real_distribution<float> angle(-3.1416f, 3.1416f);
    const float pi = 3.14159265f;
    const float axes[] = {0.0f, pi / 2, -pi / 2, pi, pi / 4, -3 * pi / 4, pi / 3, pi / 6};
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            std::mt19937 block(seed * 7919u + static_cast<unsigned>((y / 4) * 1000 + x / 4));
            m.edge[m.at(y, x)] = static_cast<float>(level(block)) * 0.25f;
            m.orientation[m.at(y, x)] = axisAngles ? axes[rng() % 8] : angle(rng);
        }
    return m;
}

// ---------------------------------------------------------------------------
// The presorted sweep: nodes with their sorted orders.

// ---------------------------------------------------------------------------
// The binned scan: binned nodes.

}  // namespace support
