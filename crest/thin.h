// Edge thinning: orientation-guided non-maximum suppression, then a linear fade
// of the border bands. Kernels over single-precision maps of h rows and w
// columns, column-major or in place in other layouts (MapView). reference.h holds the plain loop of both.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/parallel.h"

// With CREST_DOUBLE_SINE_COSINE (the build option of that name: on for macOS,
// whose modules take them so, and for the builds that stand in for it), sine
// and cosine are taken in double precision on the widened angle, each rounded
// to single; otherwise sinf and cosf. Both hosts of one build agree on it.

namespace crest {

// The largest radius a call takes. Once both coordinates of a line's samples
// are clamped on both sides of the pixel, its samples only repeat, and the
// suppression stops there (suppress.cpp): a radius beyond the map costs about
// as much as one that just crosses it. A line almost parallel to an axis,
// though, creeps along the border for up to `radius` steps, each sample a new
// one; this cap bounds such a call to 2 x 65536 samples per pixel (its time:
// docs/performance.md). Lines of this length cross any map that
// bilinear sampling covers (32769 x 32769, a diagonal of 46341), and every
// step is exact in single precision (below 2^24). The entry refuses a larger
// radius (crestThin:badValue).
inline constexpr int32_t maxRadius = 65536;

// Sine and cosine of an orientation, as this build computes them.
inline void orientationSinCos(float theta, float *sn, float *cs) {
#ifdef CREST_DOUBLE_SINE_COSINE
    const double t = theta;
    *sn = static_cast<float>(std::sin(t));
    *cs = static_cast<float>(std::cos(t));
#else
    *cs = cosf(theta);
    *sn = sinf(theta);
#endif
}

// Where a map's pixels lie: pixel (row i, column j) at
// data[i * rowStep + j * columnStep], either step of any sign.
struct MapView {
    const float *data;
    int64_t rowStep, columnStep;
};
inline MapView columnMajor(const float *data, int32_t h) { return {data, 1, h}; }

// How the suppression walks an edge map so laid out: column by column when
// the pixels of a column are adjacent (row step 1, or -1: each column read
// from its last element down), row by row when those of a row are (column
// step 1 or -1), else not at all: then, or where an index would not fit 32
// bits, the caller passes a column-major copy (whose indices fit wherever the
// batch samplers take the map). The thinned map is written densely in the
// same order, whatever the steps' signs: column-major, or row-major when
// walked by rows.
enum class Walk { byColumns, byRows, notInPlace };
Walk walkOf(MapView edge, int32_t h, int32_t w);

// Writes every pixel of the columns [columns.begin, columns.end) (the rows,
// walked by rows) into thinnedMap; the samples are read from the whole edge
// map. An edge map that walkOf does not take in place is column-major; the
// orientation map may be laid out in any way.
void suppressNonMaxima(MapView edge, MapView orientation, int32_t radius, float multiplier, int32_t h, int32_t w,
                       parallel::Range lines, float *thinnedMap);
void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                       int32_t h, int32_t w, parallel::Range columns, float *thinnedMap);

// Scales the outer bands (min(marginWidth, w/2, h/2) wide) by k / b in place:
// column bands k = 0 ... b-1 (column k, then column w-1-k, row by row), then
// row bands column by column. The map is column-major, or row-major with
// rowMajor; the operations are the same.
void attenuateMargin(float *thinnedMap, int32_t h, int32_t w, int32_t marginWidth, bool rowMajor = false);

// The whole thinning: suppression on a team of `team` threads (one region,
// ceil(lines / team) columns, or rows, per thread), then the margin pass on
// the calling thread. The serial build ignores `team`.
void thinEdges(MapView edge, MapView orientation, int32_t h, int32_t w, int32_t radius, float multiplier,
               int32_t marginWidth, int team, float *thinnedMap);
void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
               float multiplier, int32_t marginWidth, int team, float *thinnedMap);

}  // namespace crest
