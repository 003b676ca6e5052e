#include "thin.h"

namespace crest {

void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w,
               int32_t radius, float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    (void)team;  // unused in the serial build
#ifdef _OPENMP
#pragma omp parallel num_threads(team)
#endif
    suppressNonMaxima(edgeMap, orientationMap, radius, multiplier, h, w, thinnedMap);
    attenuateMargin(thinnedMap, h, w, marginWidth);
}

}  // namespace crest
