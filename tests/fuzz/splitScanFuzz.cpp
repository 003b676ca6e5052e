// splitScan through its entry: any call ends in a documented error or in
// three 1-by-N rows with the plain sweep's bits.
#include "fuzzCall.h"
#include "sweep/reference.h"

namespace {

const char *const module = "splitScan";
enum Input { featuresIn, labelsIn, weightsIn, sortedOrderIn, classCountIn, unusedIn, classWeightsIn };

std::vector<std::vector<double>> referenceRows(const fuzz::Call &call);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider p(data, size);
    const int64_t M = p.ConsumeIntegralInRange<int64_t>(0, 64);
    int64_t N = p.ConsumeIntegralInRange<int64_t>(0, 64);
    if (M * N > 1024) N = 1024 / M;
    const int64_t K = p.ConsumeIntegralInRange<int64_t>(0, 6);
    const size_t m = static_cast<size_t>(M), n = static_cast<size_t>(N), k = static_cast<size_t>(K);
    const fuzz::Call call = fuzz::makeCall(p,
                                           {{mxSINGLE_CLASS, m, n, {-4, 4, 0.25}},
                                            {mxUINT32_CLASS, m, 1, {0, K + 1, 1}},
                                            {mxSINGLE_CLASS, m, 1, {-1, 8, 0.5}},
                                            {mxUINT32_CLASS, m, n, {0, M, 1}},
                                            fuzz::scalarOf({K, K, 1}),
                                            fuzz::scalarOf({0, 1, 1}),
                                            {mxDOUBLE_CLASS, 1, k, {0, 4, 0.5}}},
                                           3);
    const size_t cols = call.inputs.empty() ? 0 : mxGetN(call.input(featuresIn));
    return fuzz::callAndCompare<double>(module, call, 3, mxDOUBLE_CLASS, 1, cols, [&] { return referenceRows(call); });
}

namespace {

// The reference's rows for an accepted call; all of the reference's use is here.
std::vector<std::vector<double>> referenceRows(const fuzz::Call &call) {
    const int32_t M = static_cast<int32_t>(mxGetM(call.input(featuresIn)));
    const int32_t N = static_cast<int32_t>(mxGetN(call.input(featuresIn)));
    const split::SweepInput in{call.data<float>(featuresIn),     call.data<uint32_t>(labelsIn),
                               call.data<float>(weightsIn),      call.data<uint32_t>(sortedOrderIn),
                               call.data<double>(classWeightsIn), M, N,
                               fuzz::truncatedScalar(call.input(classCountIn)),
                               split::Steps::columnMajor(M), split::Steps::columnMajor(M)};
    return fuzz::referenceSplitRows(module, static_cast<size_t>(N), [&](double *impurity, double *threshold, double *gain) {
        return split::referenceSearch(in, {impurity, threshold, gain}, 1).kind != split::Fault::Kind::none;
    });
}

}  // namespace
