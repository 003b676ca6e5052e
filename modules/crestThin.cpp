// crestThin(edgeMap, orientationMap, radius, marginWidth, multiplier, threadBound)
// returns the edge map thinned along its orientations, border bands faded.
// The contract, for every host: read inputs -> create the output -> team
// size -> one region (the suppression) -> the margin pass.

#include "common/parallel.h"
#include "contract/modules.h"
#include "crest/thin.h"

namespace {

using contract::ElementClass;
namespace reason = contract::reason;

using namespace modules::crestThinSlots;

// The edge map in place where the suppression can walk it so, else the
// host's column-major copy.
crest::MapView edgeMapView(contract::Call &call, int32_t h, int32_t w) {
    const contract::StridedOf<float> s = call.strided<float>(edgeMapIn);
    const crest::MapView inPlace{s.data, s.rowStep, s.columnStep};
    if (crest::walkOf(inPlace, h, w) != crest::Walk::notInPlace) return inPlace;
    return crest::columnMajor(call.data<float>(edgeMapIn), h);
}

// The orientation of pixel (i, j) is element i + h * j of the map in column
// order; in place when the map has the edge map's shape.
crest::MapView orientationMapView(contract::Call &call, int32_t h, int32_t w) {
    const contract::ArrayView o = call.view(orientationMapIn);
    if (o.rows == static_cast<size_t>(h) && o.columns == static_cast<size_t>(w)) {
        const contract::StridedOf<float> s = call.strided<float>(orientationMapIn);
        return {s.data, s.rowStep, s.columnStep};
    }
    return crest::columnMajor(call.data<float>(orientationMapIn), h);
}

void run(contract::Call &call) {
    // Inputs.
    call.requireClass(edgeMapIn, ElementClass::float32);
    call.requireMatrix(edgeMapIn);
    const contract::ArrayView edge = call.view(edgeMapIn);
    const int32_t h = call.dimension(edgeMapIn, edge.rows, "rows");
    const int32_t w = call.dimension(edgeMapIn, edge.columns, "columns");
    call.requireClass(orientationMapIn, ElementClass::float32);
    call.requireShapeOf(orientationMapIn, edgeMapIn);
    call.requireAtLeastElements(orientationMapIn, edge.count, {"one per pixel of %s", edgeMapIn});
    // Radii beyond crest::maxRadius are refused (thin.h says why); one that
    // does not fit 32 bits is beyond it too, rather than truncated.
    const double radiusValue = call.scalar(radiusIn);
    if (radiusValue >= crest::maxRadius + 1.0)
        call.failInput(radiusIn, reason::badValue, "must be at most %d steps; it is %s.", crest::maxRadius,
                       contract::numberText(radiusValue).text);
    const int32_t radius = contract::truncateToInt32(radiusValue);
    const int32_t marginWidth = call.truncatedScalar(marginWidthIn);
    const float multiplier = static_cast<float>(call.scalar(multiplierIn));
    const int32_t threadBound = call.threadBound(threadBoundIn);
    const crest::MapView edgeMap = edgeMapView(call, h, w);
    const crest::MapView orientationMap = orientationMapView(call, h, w);

    // Output, in the order the suppression walks the edge map.
    const bool byRows = crest::walkOf(edgeMap, h, w) == crest::Walk::byRows;
    float *thinnedMap = call.output<float>(
        thinnedMapOut, byRows ? contract::OutputShape::rowMajorMatrix : contract::OutputShape::matrix, h, w,
        ElementClass::float32);
    if (h == 0 || w == 0) return;

    // Team size, one region, margin pass.
    parallel::keepThreadRuntimeLoaded();
    const int team = parallel::boundedTeam(threadBound);
    const contract::Call::Region region(call);
    crest::thinEdges(edgeMap, orientationMap, h, w, radius, multiplier, marginWidth, team, thinnedMap);
}

}  // namespace

const contract::Module modules::crestThin{"crestThin", "crest_thin", inputs, inputCount, outputs, outputCount, run,
                                          reasons, reasonCount};
