// Recorded crestThin calls: the inputs of each call, the Linux OpenMP module's
// output, and the sine and cosine that the Linux runtime gives for every
// orientation. Written on Linux, read by the checks of the Windows and serial
// builds. Little-endian raw values; the two ends are built from this header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace reference {

struct Call {
    std::string name;
    int32_t h = 0;
    int32_t w = 0;
    double radius = 0;
    double marginWidth = 0;
    double multiplier = 1;
    std::vector<float> edgeMap;
    std::vector<float> orientationMap;
    std::vector<float> thinnedMap;  // the Linux module's output
    std::vector<float> sine;        // sinf of each orientation on Linux
    std::vector<float> cosine;
};

inline constexpr char magic[8] = {'c', 'r', 'e', 's', 't', 'r', 'e', 'f'};

namespace detail {

template <typename T> bool put(std::FILE *f, const T &v) { return std::fwrite(&v, sizeof v, 1, f) == 1; }
template <typename T> bool get(std::FILE *f, T &v) { return std::fread(&v, sizeof v, 1, f) == 1; }

inline bool putFloats(std::FILE *f, const std::vector<float> &v) {
    return v.empty() || std::fwrite(v.data(), sizeof(float), v.size(), f) == v.size();
}
inline bool getFloats(std::FILE *f, std::vector<float> &v, size_t n) {
    v.resize(n);
    return n == 0 || std::fread(v.data(), sizeof(float), n, f) == n;
}

}  // namespace detail

inline bool write(const std::string &path, const std::vector<Call> &calls) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(magic, 1, sizeof magic, f) == sizeof magic &&
              detail::put(f, static_cast<uint32_t>(calls.size()));
    for (const Call &c : calls) {
        ok = ok && detail::put(f, static_cast<uint32_t>(c.name.size())) &&
             std::fwrite(c.name.data(), 1, c.name.size(), f) == c.name.size() && detail::put(f, c.h) &&
             detail::put(f, c.w) && detail::put(f, c.radius) && detail::put(f, c.marginWidth) &&
             detail::put(f, c.multiplier);
        for (const auto *v : {&c.edgeMap, &c.orientationMap, &c.thinnedMap, &c.sine, &c.cosine})
            ok = ok && detail::putFloats(f, *v);
    }
    return std::fclose(f) == 0 && ok;
}

// Empty when the file is missing or malformed.
inline std::vector<Call> read(const std::string &path) {
    std::vector<Call> calls;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return calls;
    char head[sizeof magic];
    uint32_t count = 0;
    bool ok = std::fread(head, 1, sizeof head, f) == sizeof head &&
              std::string(head, sizeof head) == std::string(magic, sizeof magic) && detail::get(f, count) &&
              count < 10000;
    for (uint32_t k = 0; ok && k < count; ++k) {
        Call c;
        uint32_t nameLength = 0;
        ok = detail::get(f, nameLength) && nameLength < 1000;
        if (ok) {
            c.name.resize(nameLength);
            ok = std::fread(c.name.data(), 1, nameLength, f) == nameLength;
        }
        ok = ok && detail::get(f, c.h) && detail::get(f, c.w) && c.h >= 0 && c.w >= 0 &&
             static_cast<int64_t>(c.h) * c.w < (int64_t{1} << 26) && detail::get(f, c.radius) &&
             detail::get(f, c.marginWidth) && detail::get(f, c.multiplier);
        const size_t n = ok ? static_cast<size_t>(c.h) * static_cast<size_t>(c.w) : 0;
        for (auto *v : {&c.edgeMap, &c.orientationMap, &c.thinnedMap, &c.sine, &c.cosine})
            ok = ok && detail::getFloats(f, *v, n);
        if (ok) calls.push_back(std::move(c));
    }
    std::fclose(f);
    if (!ok) calls.clear();
    return calls;
}

}  // namespace reference
