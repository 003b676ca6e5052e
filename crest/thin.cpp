#include "thin.h"

#include "lineSampler.h"

namespace crest {

void thinEdgesWith(cpu::Isa isa, MapView edge, MapView orientation, int32_t h, int32_t w, int32_t radius,
                   float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    const bool byRows = walkOf(edge, h, w) == Walk::byRows;
    parallel::runTeam(team, [&](int thread, int threads) {
        suppressNonMaximaWith(isa, edge, orientation, radius, multiplier, h, w,
                              parallel::ceilBlock(byRows ? h : w, threads, thread), thinnedMap);
    });
    attenuateMargin(thinnedMap, h, w, marginWidth, byRows);
}

void thinEdgesWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t h, int32_t w,
                   int32_t radius, float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    thinEdgesWith(isa, columnMajor(edgeMap, h), columnMajor(orientationMap, h), h, w, radius, multiplier,
                  marginWidth, team, thinnedMap);
}

void thinEdges(MapView edge, MapView orientation, int32_t h, int32_t w, int32_t radius, float multiplier,
               int32_t marginWidth, int team, float *thinnedMap) {
    thinEdgesWith(cpu::fastest(lineSamplerVersions), edge, orientation, h, w, radius, multiplier, marginWidth, team,
                  thinnedMap);
}

void thinEdges(const float *edgeMap, const float *orientationMap, int32_t h, int32_t w, int32_t radius,
               float multiplier, int32_t marginWidth, int team, float *thinnedMap) {
    thinEdgesWith(cpu::fastest(lineSamplerVersions), edgeMap, orientationMap, h, w, radius, multiplier,
                  marginWidth, team, thinnedMap);
}

}  // namespace crest
