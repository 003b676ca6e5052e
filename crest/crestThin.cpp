// crestThin(edgeMap, orientationMap, radius, marginWidth, multiplier, threadBound)
// returns the edge map thinned along its orientations, border bands faded.
#include "crest/thin.h"
#include "gateway/args.h"
#include "gateway/parallel.h"

namespace {

const char *const moduleName = "crestThin";
const char *const signature = "edgeMap, orientationMap, radius, marginWidth, multiplier, threadBound";

enum Input { edgeMapArg, orientationMapArg, radiusArg, marginWidthArg, multiplierArg, threadBoundArg, inputCount };
enum Output { thinnedMapOut, outputCount };

const gateway::Arg edgeMapIn{1, "edgeMap"};
const gateway::Arg orientationMapIn{2, "orientationMap"};
const gateway::Arg radiusIn{3, "radius"};
const gateway::Arg marginWidthIn{4, "marginWidth"};
const gateway::Arg multiplierIn{5, "multiplier"};
const gateway::Arg threadBoundIn{6, "threadBound"};

}  // namespace

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    using namespace gateway;

    // Inputs.
    checkArgCounts(moduleName, nlhs, nrhs, inputCount, outputCount, signature);
    const mxArray *edge = prhs[edgeMapArg];
    const mxArray *orientation = prhs[orientationMapArg];
    requireRealClass(moduleName, edge, edgeMapIn, mxSINGLE_CLASS);
    requireMatrix(moduleName, edge, edgeMapIn);
    const int32_t h = dimensionAsInt32(moduleName, mxGetM(edge), edgeMapIn, "rows");
    const int32_t w = dimensionAsInt32(moduleName, mxGetN(edge), edgeMapIn, "columns");
    requireRealClass(moduleName, orientation, orientationMapIn, mxSINGLE_CLASS);
    requireAtLeastElements(moduleName, orientation, orientationMapIn, mxGetNumberOfElements(edge),
                           "one per pixel of edgeMap");
    const int32_t radius = truncateToInt32(readScalar(moduleName, prhs[radiusArg], radiusIn));
    const int32_t marginWidth = truncateToInt32(readScalar(moduleName, prhs[marginWidthArg], marginWidthIn));
    const float multiplier = static_cast<float>(readScalar(moduleName, prhs[multiplierArg], multiplierIn));
    const int32_t threadBound = truncateToInt32(readScalar(moduleName, prhs[threadBoundArg], threadBoundIn));
    const float *edgeMap = static_cast<const float *>(mxGetData(edge));
    const float *orientationMap = static_cast<const float *>(mxGetData(orientation));

    // Output.
    float *thinnedMap = static_cast<float *>(createOutput(plhs, nlhs, thinnedMapOut, h, w, mxSINGLE_CLASS));
    if (h == 0 || w == 0) return;

    // Team size, one region, margin pass.
    parallel::keepThreadRuntimeLoaded();
    crest::thinEdges(edgeMap, orientationMap, h, w, radius, multiplier, marginWidth,
                     parallel::boundedTeam(threadBound), thinnedMap);
}
