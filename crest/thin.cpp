#include "thin.h"

namespace crest {

void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
               float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    parallel::runTeam(team, [&](int thread, int threads) {
        suppressNonMaxima(edgeMap, orientationMap, radius, multiplier, h, w, parallel::ceilBlock(w, threads, thread),
                          thinnedMap);
    });
    attenuateMargin(thinnedMap, h, w, marginWidth);
}

}  // namespace crest
