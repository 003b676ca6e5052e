// Sampling along the orientation lines of a batch of pixels from one column:
// the inner loops of the suppression, in a portable version and in SIMD
// versions chosen at run time. Every version gives the same bits.
#pragma once

#include <cstdint>

namespace crest {

// The versions this source knows; not every one is built on every platform or
// runs on every processor (see lineSamplerAvailable).
enum class LineSampler { scalar, avx2, avx512 };

// Rows per batch; batches are padded to a multiple of batchLanes.
constexpr int32_t batchRows = 512;
constexpr int32_t batchLanes = 16;
constexpr int32_t batchCapacity = batchRows + batchLanes;

// Clamp constants of one dimension: coordinates above `threshold` become
// `ceiling`. The ceiling is size - 1.001 worked out in double and rounded to
// single; a coordinate widened to double exceeds size - 1.001 exactly when it
// exceeds `threshold`, the largest single value not above it, so the test can
// stay in single precision.
struct ClampLimits {
    float ceiling;
    float threshold;
};
ClampLimits clampLimits(int32_t size);

// The edge map and the clamp constants of both dimensions. Only maps of 2 to
// 32769 rows and columns use the batch samplers: there the ceiling alone
// keeps every +1 neighbour inside the map and every index fits 32 bits.
struct SampledMap {
    const float *edgeMap;
    int32_t h, w;
    ClampLimits rowLimits, columnLimits;
};
bool batchSamplable(int32_t h, int32_t w);
SampledMap sampledMap(const float *edgeMap, int32_t h, int32_t w);

// Pixels (rows[k], column x) with their sine, cosine and limit, n of them
// (a multiple of batchLanes; padding rows carry a NaN limit). The samplers
// set keep[k] to all ones, or to 0 where some sample on the line within
// `radius` steps is stronger than limit[k].
struct LineBatch {
    const int32_t *rows;
    const float *sn, *cs, *limit;
    int32_t n;
    uint32_t *keep;
};

// One step of a batch, between the SIMD stages: for each pixel the linear
// index of its sample's upper left neighbour and the fractions, then the
// neighbour pairs (rows iy and iy + 1) of columns ix and ix + 1.
struct StepScratch {
    alignas(64) int32_t index[batchCapacity];
    alignas(64) float fx[batchCapacity];
    alignas(64) float fy[batchCapacity];
    alignas(64) float left[2 * batchCapacity];
    alignas(64) float right[2 * batchCapacity];
};
// Copies the pairs of every index: the two rows of a column sit side by side,
// so one 8-byte load fetches both, which beats a hardware gather.
void fetchNeighbourPairs(const float *edgeMap, int32_t h, int32_t n, StepScratch &step);

// Copies rows y0 .. y1-1 of a column and lists the rows whose edge value is
// not zero (NaN included) in `rows`, which holds batchCapacity entries.
// Returns how many were listed.
int32_t listNonZeroScalar(const float *edge, float *thinned, int32_t y0, int32_t y1, int32_t *rows);
void sampleLinesScalar(const SampledMap &map, int32_t x, int32_t radius, const LineBatch &batch);
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
// Win64 GCC cannot align the stack for spilled 32- and 64-byte vectors, so the
// SIMD versions are left out there.
#define CREST_X86_SAMPLERS 1
void sampleLinesAvx2(const SampledMap &map, int32_t x, int32_t radius, const LineBatch &batch);
int32_t listNonZeroAvx512(const float *edge, float *thinned, int32_t y0, int32_t y1, int32_t *rows);
void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius, const LineBatch &batch);
#endif

// Whether a version is built here and runs on this processor; the fastest
// such version.
bool lineSamplerAvailable(LineSampler sampler);
LineSampler fastestLineSampler();

// suppressNonMaxima with a chosen version (which must be available).
void suppressNonMaximaWith(LineSampler sampler, const float *edgeMap, const float *orientationMap,
                           int32_t radius, float multiplier, int32_t h, int32_t w, float *thinnedMap);

}  // namespace crest
