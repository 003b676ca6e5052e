// Bilinear sampling of a single-precision map.
#pragma once

#include <cstdint>

namespace crest {

// A coordinate's clamp ceiling, size - clampCeilingOffset in double, lies a
// thousandth inside the last pixel, so the truncated coordinate leaves room
// for its +1 neighbour.
inline constexpr double clampCeilingOffset = 1.001;
inline double clampCeiling(int32_t size) { return static_cast<double>(size) - clampCeilingOffset; }

// The largest side on which that holds: from 32770 on, size - 1.001 rounds
// to size - 1 in single precision.
inline constexpr int32_t largestCeilingClampedSide = 32769;

// Clamps a coordinate into [0, clampCeiling(size)]. A map one pixel across
// has only the coordinate 0; NaN also reads there.
inline float clampCoordinate(float p, int32_t size) {
    if (size < 2 || !(p >= 0.0f)) return 0.0f;
    const double ceiling = clampCeiling(size);
    if (static_cast<double>(p) > ceiling) return static_cast<float>(ceiling);
    return p;
}

// Sample at column px, row py (pixel centres at whole numbers) from the four
// neighbours, pixel (i, j) at map[i * rowStep + j * columnStep]. The +1
// neighbour is kept inside the map, which only matters for maps one pixel
// across or wider than largestCeilingClampedSide, where the ceiling no longer
// does it.
inline float interpolateStrided(const float *map, int64_t rowStep, int64_t columnStep, int32_t h, int32_t w, float px,
                                float py) {
    px = clampCoordinate(px, w);
    py = clampCoordinate(py, h);
    const int32_t ix = static_cast<int32_t>(px);
    const int32_t iy = static_cast<int32_t>(py);
    const float fx = px - static_cast<float>(ix);
    const float fy = py - static_cast<float>(iy);
    const int32_t ix1 = ix + 1 < w ? ix + 1 : w - 1;
    const int32_t iy1 = iy + 1 < h ? iy + 1 : h - 1;
    const int64_t c0 = columnStep * ix, c1 = columnStep * ix1;
    const int64_t r0 = rowStep * iy, r1 = rowStep * iy1;
    const float p00 = map[r0 + c0];
    const float p01 = map[r0 + c1];
    const float p10 = map[r1 + c0];
    const float p11 = map[r1 + c1];
    const float gx = 1.0f - fx;
    const float gy = 1.0f - fy;
    return (gx * p00) * gy + (fx * p01) * gy + (gx * p10) * fy + (fx * p11) * fy;
}

// The same of a column-major map.
inline float interpolateBilinear(const float *map, int32_t h, int32_t w, float px, float py) {
    return interpolateStrided(map, 1, h, h, w, px, py);
}

}  // namespace crest
