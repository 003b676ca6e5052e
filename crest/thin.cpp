#include "thin.h"

#include "lineSampler.h"

namespace crest {

void thinEdgesWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t h, int32_t w,
                   int32_t radius, float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    parallel::runTeam(team, [&](int thread, int threads) {
        suppressNonMaximaWith(isa, edgeMap, orientationMap, radius, multiplier, h, w,
                              parallel::ceilBlock(w, threads, thread), thinnedMap);
    });
    attenuateMargin(thinnedMap, h, w, marginWidth);
}

void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
               float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    thinEdgesWith(cpu::fastest(lineSamplerVersions), edgeMap, orientationMap, h, w, radius, multiplier,
                  marginWidth, team, thinnedMap);
}

}  // namespace crest
