// What the tests, the platform checks and the benchmarks share: comparison
// to the bit, and the generators of the inputs they feed both a kernel and
// its reference.
#pragma once

#include <cstdint>
#include <cstring>
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

// ---------------------------------------------------------------------------
// The presorted sweep: nodes with their sorted orders.

// ---------------------------------------------------------------------------
// The binned scan: binned nodes.

}  // namespace support
