// crestThin through its entry: any call ends in a documented error or in a
// map of the edge map's size with the plain loop's bits.
#include "crest/reference.h"
#include "fuzzCall.h"

namespace {

const char *const module = "crestThin";
enum Input { edgeMapIn, orientationMapIn, radiusIn, marginWidthIn, multiplierIn, threadBoundIn };

// Radius times pixels that a call may take here. The kernel's cost grows
// with both: a line almost parallel to an axis (an orientation of pi in
// single precision is one) creeps along the map for `radius` new samples on
// each side (crest/thin.h), and the plain loop always takes every step.
// Under the sanitizers such a sample costs microseconds, so larger calls are
// skipped rather than timed out (docs/fuzzing.md).
constexpr int64_t maxRadiusPixels = int64_t{1} << 15;

std::vector<float> referenceMap(const fuzz::Call &call, int32_t h, int32_t w);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider p(data, size);
    const size_t h = p.ConsumeIntegralInRange<size_t>(0, 64);
    size_t w = p.ConsumeIntegralInRange<size_t>(0, 64);
    if (h * w > 2040) w = 2040 / h;  // two maps, and room for the scalars
    const fuzz::Values strength{-2, 6, 0.25}, angle{-16, 16, 0.19634954084936207};  // pi/16
    const fuzz::Call call = fuzz::makeCall(p,
                                           {{mxSINGLE_CLASS, h, w, strength},
                                            {mxSINGLE_CLASS, h, w, angle},
                                            fuzz::scalarOf({0, 6, 1}),
                                            fuzz::scalarOf({-1, 4, 1}),
                                            fuzz::scalarOf({0, 6, 0.25}),
                                            fuzz::scalarOf({-1, 4, 1})},
                                           1);
    const size_t rows = call.inputs.empty() ? 0 : mxGetM(call.input(edgeMapIn));
    const size_t cols = call.inputs.empty() ? 0 : mxGetN(call.input(edgeMapIn));
    const int64_t radius = call.inputs.size() > radiusIn ? fuzz::truncatedScalar(call.input(radiusIn)) : 0;
    if (radius * static_cast<int64_t>(rows * cols) > maxRadiusPixels) return -1;  // not added to the corpus
    const fuzz::Outcome out = fuzz::callEntry(module, call, 1, mxSINGLE_CLASS, rows, cols);
    if (!out.ok) return 0;
    fuzz::expectSameBits<float>(module, out, {referenceMap(call, static_cast<int32_t>(rows), static_cast<int32_t>(cols))});
    return 0;
}

namespace {

// The reference's map for an accepted call; all of the reference's use is here.
std::vector<float> referenceMap(const fuzz::Call &call, int32_t h, int32_t w) {
    const int32_t radius = fuzz::truncatedScalar(call.input(radiusIn));
    const int32_t marginWidth = fuzz::truncatedScalar(call.input(marginWidthIn));
    const float multiplier = static_cast<float>(mxGetScalar(call.input(multiplierIn)));
    std::vector<float> map(static_cast<size_t>(h) * static_cast<size_t>(w));
    crest::reference::thinEdges(call.data<float>(edgeMapIn), call.data<float>(orientationMapIn), h, w, radius,
                                multiplier, marginWidth, 1, map.data());
    return map;
}

}  // namespace
