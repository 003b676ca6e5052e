// Edge thinning: orientation-guided non-maximum suppression, then a linear fade
// of the border bands. Plain kernels over column-major single-precision maps of
// h rows and w columns.
#pragma once

#include <cstdint>

// The macOS build, and the serial variant that stands in for it on other
// systems, take sine and cosine in double precision on the widened angle,
// each rounded to single; the others take sinf and cosf.
#if defined(__APPLE__) || defined(MEX_SERIAL)
#define CREST_DOUBLE_SINCOS 1
#endif

namespace crest {

// Body of the parallel region: the calling thread takes its block of
// ceil(w / team) columns and writes every pixel of them into thinnedMap.
void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius,
                       float multiplier, int32_t h, int32_t w, float *thinnedMap);

// Scales the outer bands (min(marginWidth, w/2, h/2) wide) by k / b in place.
void attenuateMargin(float *thinnedMap, int32_t h, int32_t w, int32_t marginWidth);

// Sine and cosine of an orientation, as this build computes them.
void orientationSinCos(float theta, float *sn, float *cs);

// The whole thinning: suppression on a team of `team` threads (one region),
// then the margin pass on the calling thread. The serial build ignores `team`.
void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w,
               int32_t radius, float multiplier, int32_t marginWidth, int team, float *thinnedMap);

}  // namespace crest
