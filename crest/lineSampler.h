// The stages of the suppression over one stretch of a column, in a portable
// version and in SIMD versions chosen at run time. Every version gives the
// bits of the plain loop in reference.h.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/cpu.h"
#include "common/parallel.h"
#include "thin.h"

namespace crest {

// The versions of the samplers; cpu::runs tells which of them this build has
// and this processor runs (AVX2 and AVX-512 where CPU_WIDE_SIMD builds them,
// NEON on every arm64). An x86-64 processor without AVX2, and the Windows
// build, run the portable version: a four-lane SSE2 one was no faster on
// either processor kind measured (docs/performance.md).
inline constexpr cpu::Isa lineSamplerVersions[] = {cpu::Isa::portable, cpu::Isa::avx2, cpu::Isa::avx512,
                                                   cpu::Isa::neon};

// Candidates per batch at most; a stretch of a column runs until its
// candidates fill a batch. Sampled lines are padded to a multiple of
// batchLanes.
constexpr int32_t batchRows = 512;
constexpr int32_t batchLanes = 16;
constexpr int32_t batchCapacity = batchRows + batchLanes;
// Rows are listed this many at a time (one prefetch; one AVX-512 register,
// two AVX2 or four NEON ones), as long as a batch has room for all of them.
constexpr int32_t listingGroup = 16;

// The pixels of one stretch that a sample can suppress: edge value not zero,
// angle finite and limit not NaN (the others keep their value whatever the
// samples say).
struct Candidates {
    alignas(64) int32_t rows[batchCapacity];
    alignas(64) float theta[batchCapacity];
    alignas(64) float limit[batchCapacity];
    // The angle's quadrant group (see quadrantGroup), for the order of the
    // sine and cosine calls.
    alignas(64) int32_t group[batchCapacity];
    alignas(64) float sn[batchCapacity];
    alignas(64) float cs[batchCapacity];
    alignas(64) uint16_t order[batchCapacity];
};
constexpr int quadrantGroups = 5;

// 0 for angles within about an eighth of a turn of 0, else 1 + the quadrant
// (0..3) of the nearest quarter turn. Only the speed of the sine and cosine
// depends on it. Adding roundingShift rounds the quarter turns to a whole
// number held in the low bits (for less than 2^22 of them; farther out, and
// for non-finite angles, some group results), without branching.
inline constexpr float quarterTurnsPerRadian = 0.636619772f;  // 2 / pi
inline constexpr float roundingShift = 12582912.0f;           // 1.5 * 2^23
inline constexpr uint32_t roundingShiftBits = 0x4b400000u;    // its bits
inline constexpr uint32_t quadrantMask = 3u;                  // quarter turns within a turn
inline int32_t quadrantGroup(float theta) {
    const float shifted = theta * quarterTurnsPerRadian + roundingShift;
    uint32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    const uint32_t quadrant = bits - roundingShiftBits;
    return static_cast<int32_t>((1u + (quadrant & quadrantMask)) & (0u - (quadrant != 0)));
}

// Copies a column's rows from y0 on into the thinned column and lists the
// candidates among them, listingGroup rows at a time until a batch is nearly
// full or the column ends. `edge` and `thinned` point at the column's first row,
// which is element `column` of the orientation map; the orientation of a zero
// pixel is not read. With `backward` the column runs down in memory in both
// maps: row y at edge[-y] and orientationMap[column - y] (thinned stays in
// row order). Returns the row after the last one copied; *n receives
// the number of candidates. The same rows of the edge column `ahead` are
// asked for on the way: the samples of a later column will read them, and
// asking a few at a time keeps the requests from being dropped.
int32_t listCandidatesScalar(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                             bool backward = false);

// The same listing, of a column whose edge values lie edgeStep (1 or -1)
// and orientations orientationStep elements apart (any sign) from `edge`
// and `orientation` on.
int32_t listCandidatesStrided(const float *edge, int64_t edgeStep, float *thinned, const float *orientation,
                              int64_t orientationStep, float multiplier, int32_t y0, int32_t h, const float *ahead,
                              Candidates &c, int32_t *n);

// Clamp constants of one dimension: coordinates above `threshold` become
// `ceiling`. The ceiling is clampCeiling(size) (interpolate.h) rounded to
// single; a coordinate widened to double exceeds clampCeiling(size) exactly
// when it exceeds `threshold`, the largest single value not above it, so the
// test can stay in single precision.
struct ClampLimits {
    float ceiling;
    float threshold;
};
ClampLimits clampLimits(int32_t size);

// The edge map and the clamp constants of both dimensions. Only maps of 2 to
// largestCeilingClampedSide rows and columns use the batch samplers: there
// the ceiling alone keeps every +1 neighbour inside the map. The map is walked
// line by line, the pixels of a line adjacent in memory: its columns, or with
// `transposed` its rows. Line b starts at edgeMap + b * lineStep (any sign),
// its pixel a at a after that, or with `reversed` at -a; every index of the
// map fits 32 bits (indexFits).
struct SampledMap {
    const float *edgeMap;
    int32_t h, w;
    ClampLimits rowLimits, columnLimits;
    int32_t lineStep;
    bool transposed, reversed;
};
bool batchSamplable(int32_t h, int32_t w);
// Whether every a + lineStep * b of lines of `along` pixels, lines of them,
// and the pair beyond it, fits 31 bits.
bool indexFits(int64_t along, int64_t lines, int64_t lineStep);
SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w);
SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w, int32_t lineStep, bool transposed,
                      bool reversed);

// The lines of n pixels (rows[k], column x), each row at most once, with
// their sine, cosine and limit. The arrays hold batchCapacity entries and
// are the sampler's to reorder and pad.
struct LineBatch {
    int32_t *rows;
    float *sn, *cs, *limit;
    int32_t n;
};

// What a sampler keeps between its stages: a mask per line that a stronger
// sample clears, and for the current step each line's linear index of its
// sample's upper left neighbour, the fractions, and the neighbour pairs (rows
// iy and iy + 1) of columns ix and ix + 1.
struct StepScratch {
    alignas(64) uint32_t alive[batchCapacity];
    alignas(64) int32_t index[batchCapacity];
    alignas(64) float fx[batchCapacity];
    alignas(64) float fy[batchCapacity];
    alignas(64) float left[2 * batchCapacity];
    alignas(64) float right[2 * batchCapacity];
};

// The samplers take the steps nearest first, where a stronger sample is
// likeliest on real maps; once enough lines have lost their mask they clear
// those pixels and pack the rest to the front, so later steps sample only
// what is left. Neither the order of the steps nor the packing changes the
// outcome. These are their shared parts.

// The step after `d` in the order -1, 1, -2, 2, ..., -r, r; 0 when done.
inline int64_t nextStep(int64_t d, int32_t radius) {
    if (d < 0) return -d;
    return d < radius ? -(d + 1) : 0;
}
// Pads the lines to a multiple of batchLanes with harmless ones (row 0, no
// angle, NaN limit, never alive); returns the padded count.
int32_t padLines(LineBatch &batch, StepScratch &step);
// Copies the pairs of every index, in its line and the next: the two pixels
// of a pair sit side by side, so one 8-byte load fetches both (rather than a
// hardware gather: see docs/performance.md).
void fetchNeighbourPairs(const float *edgeMap, int32_t lineStep, int32_t n, StepScratch &step);
// Whether packing pays after step d, which left `alive` of n lines: it
// saves sampling the dropped lines in every step still to come, and costs
// about as much as packingCostInSteps steps over all lines (see
// docs/performance.md).
constexpr int64_t packingCostInSteps = 2;
inline bool worthPacking(int32_t alive, int32_t n, int64_t d, int32_t radius) {
    const int64_t stepsLeft = 2 * static_cast<int64_t>(radius) - (d < 0 ? -2 * d - 1 : 2 * d);
    return (n - alive) * stepsLeft > packingCostInSteps * n;
}
// Clears the pixels of the lines no longer alive and packs the others to the
// front, alive.
void packLines(LineBatch &batch, StepScratch &step, float *thinned);
// Clears the pixels of the lines no longer alive.
void clearSuppressed(const LineBatch &batch, const StepScratch &step, float *thinned);
// Clears the pixels of those of the first `count` lines no longer alive (a
// kept pixel's bits stay, a suppressed one's become +0), without a branch per
// line: for the versions without a scatter store.
inline void clearUnlessAlive(float *thinned, const int32_t *rows, const uint32_t *alive, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        uint32_t bits;
        std::memcpy(&bits, &thinned[rows[k]], sizeof bits);
        bits &= alive[k];
        std::memcpy(&thinned[rows[k]], &bits, sizeof bits);
    }
}
// The pack and clear of the step loop (lineSteps.h) for the portable version.
struct PackingInPlace {
    static void pack(LineBatch &batch, StepScratch &step, float *thinned) { packLines(batch, step, thinned); }
    static void clear(const LineBatch &batch, const StepScratch &step, float *thinned) {
        clearSuppressed(batch, step, thinned);
    }
};

// Tests every line of the batch and clears to +0 the thinned value (thinned
// points at column x's first row) of each pixel with a sample stronger than
// its limit. One per version, all made from sampleLinesOf (lineSteps.h).
void sampleLinesScalar(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
// The listing of the wider versions (listingSteps.h) gives the same
// candidates as listCandidatesScalar.
#if defined(CPU_WIDE_SIMD)
void sampleLinesAvx2(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
int32_t listCandidatesAvx2(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                           float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                           bool backward);
void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
int32_t listCandidatesAvx512(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                             bool backward);
#endif
#if defined(CPU_ARM64)
void sampleLinesNeon(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
int32_t listCandidatesNeon(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                           float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                           bool backward);
#endif

// The listing and the sampler of a version that cpu::runs.
int32_t listCandidatesWith(cpu::Isa isa, const float *edge, float *thinned, const float *orientationMap,
                           int64_t column, float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                           int32_t *n, bool backward = false);
void sampleLinesWith(cpu::Isa isa, const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch,
                     float *thinned);

// suppressNonMaxima and thinEdges (thin.h) with a version that cpu::runs.
void suppressNonMaximaWith(cpu::Isa isa, MapView edge, MapView orientation, int32_t radius, float multiplier,
                           int32_t h, int32_t w, parallel::Range lines, float *thinnedMap);
void suppressNonMaximaWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t radius,
                           float multiplier, int32_t h, int32_t w, parallel::Range columns, float *thinnedMap);
void thinEdgesWith(cpu::Isa isa, MapView edge, MapView orientation, int32_t h, int32_t w, int32_t radius,
                   float multiplier, int32_t marginWidth, int team, float *thinnedMap);
void thinEdgesWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t h, int32_t w,
                   int32_t radius, float multiplier, int32_t marginWidth, int team, float *thinnedMap);

}  // namespace crest
