// crestThin(edgeMap, orientationMap, radius, marginWidth, multiplier, threadBound)
// returns the edge map thinned along its orientations, border bands faded.
#include <iterator>

#include "crest/thin.h"
#include "mex/call.h"
#include "common/parallel.h"

namespace {

enum Input { edgeMapIn, orientationMapIn, radiusIn, marginWidthIn, multiplierIn, threadBoundIn, inputCount };
const char *const inputNames[] = {"edgeMap", "orientationMap", "radius", "marginWidth", "multiplier", "threadBound"};
static_assert(std::size(inputNames) == inputCount, "one name per input");
enum Output { thinnedMapOut, outputCount };

const gateway::Signature signature{"crestThin", inputNames, inputCount, outputCount};

}  // namespace

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    const gateway::Call call(signature, nlhs, plhs, nrhs, prhs);

    // Inputs.
    call.requireClass(edgeMapIn, mxSINGLE_CLASS);
    call.requireMatrix(edgeMapIn);
    const int32_t h = call.dimension(edgeMapIn, mxGetM(call[edgeMapIn]), "rows");
    const int32_t w = call.dimension(edgeMapIn, mxGetN(call[edgeMapIn]), "columns");
    call.requireClass(orientationMapIn, mxSINGLE_CLASS);
    call.requireAtLeastElements(orientationMapIn, mxGetNumberOfElements(call[edgeMapIn]), "one per pixel of edgeMap");
    // Radii beyond crest::maxRadius are refused (thin.h says why); one that
    // does not fit 32 bits is beyond it too, rather than truncated.
    const double radiusValue = call.scalar(radiusIn);
    if (radiusValue >= crest::maxRadius + 1.0)
        call.failInput(radiusIn, gateway::reason::badValue, "must be at most %d steps; it is %s.", crest::maxRadius,
                       gateway::numberText(radiusValue).text);
    const int32_t radius = gateway::truncateToInt32(radiusValue);
    const int32_t marginWidth = call.truncatedScalar(marginWidthIn);
    const float multiplier = static_cast<float>(call.scalar(multiplierIn));
    const int32_t threadBound = call.truncatedScalar(threadBoundIn);
    const float *edgeMap = call.data<float>(edgeMapIn);
    const float *orientationMap = call.data<float>(orientationMapIn);

    // Output.
    float *thinnedMap = static_cast<float *>(call.output(thinnedMapOut, h, w, mxSINGLE_CLASS));
    if (h == 0 || w == 0) return;

    // Team size, one region, margin pass.
    parallel::keepThreadRuntimeLoaded();
    crest::thinEdges(edgeMap, orientationMap, h, w, radius, multiplier, marginWidth,
                     parallel::boundedTeam(threadBound), thinnedMap);
}
