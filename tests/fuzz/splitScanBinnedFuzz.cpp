// splitScanBinned through its entry: any call ends in a documented error or
// in three 1-by-F rows with the plain scan's bits.
#include <algorithm>

#include "binned/reference.h"
#include "fuzzCall.h"

namespace {

const char *const module = "splitScanBinned";
enum Input {
    binnedDataIn, labelsIn, weightsIn, binCountIn, nodeSamplesIn, candidateFeaturesIn, classCountIn, unusedIn,
    classWeightsIn, threadLimitIn
};

// Steps of the plain scan: for every feature, K + 1 histograms of up to 256
// bins filled and scanned. Under the sanitizers 2^18 take about 30 ms of
// CPU, which a busy machine stretches tenfold; larger calls are skipped
// rather than timed out (docs/fuzzing.md).
constexpr int64_t maxScanSteps = int64_t{1} << 18;

int64_t scanSteps(const fuzz::Call &call) {
    if (call.inputs.size() <= classCountIn) return 0;
    const int64_t F = static_cast<int64_t>(mxGetNumberOfElements(call.input(candidateFeaturesIn)));
    const int64_t B = std::clamp<int64_t>(fuzz::truncatedScalar(call.input(binCountIn)), 0, split::binValueCount);
    return F * B * (std::max<int64_t>(fuzz::truncatedScalar(call.input(classCountIn)), 0) + 1);
}

std::vector<std::vector<double>> referenceRows(const fuzz::Call &call);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider p(data, size);
    const int64_t M = p.ConsumeIntegralInRange<int64_t>(0, 64);
    const int64_t columns = p.ConsumeIntegralInRange<int64_t>(0, 16);
    const int64_t n = p.ConsumeIntegralInRange<int64_t>(0, 128);
    const int64_t F = p.ConsumeIntegralInRange<int64_t>(0, 64);
    const int64_t K = p.ConsumeIntegralInRange<int64_t>(0, 6);
    // Few bins mostly; sometimes around 256, where bin values run out.
    const int64_t B = p.ConsumeBool() ? p.ConsumeIntegralInRange<int64_t>(0, 12) : p.ConsumeIntegralInRange<int64_t>(0, 300);
    const auto size_of = [](int64_t v) { return static_cast<size_t>(v); };
    const fuzz::Call call = fuzz::makeCall(p,
                                           {{mxUINT8_CLASS, size_of(M), size_of(columns), {0, B, 1}},
                                            {mxUINT32_CLASS, size_of(M), 1, {0, K + 1, 1}},
                                            {mxSINGLE_CLASS, size_of(M), 1, {-1, 8, 0.5}},
                                            fuzz::scalarOf({B, B, 1}),
                                            {mxUINT32_CLASS, 1, size_of(n), {0, M, 1}},
                                            {mxUINT32_CLASS, 1, size_of(F), {0, columns, 1}},
                                            fuzz::scalarOf({K, K, 1}),
                                            fuzz::scalarOf({0, 1, 1}),
                                            {mxDOUBLE_CLASS, 1, size_of(K), {0, 4, 0.5}},
                                            fuzz::scalarOf({-1, 4, 1})},
                                           3);
    const size_t cols = call.inputs.size() > candidateFeaturesIn ? mxGetNumberOfElements(call.input(candidateFeaturesIn)) : 0;
    if (scanSteps(call) > maxScanSteps) return -1;  // not added to the corpus
    return fuzz::callAndCompare<double>(module, call, 3, mxDOUBLE_CLASS, 1, cols, [&] { return referenceRows(call); });
}

namespace {

// The reference's rows for an accepted call; all of the reference's use is
// here. Without listed samples B and K are not read, and no split exists.
std::vector<std::vector<double>> referenceRows(const fuzz::Call &call) {
    const int32_t n = static_cast<int32_t>(mxGetNumberOfElements(call.input(nodeSamplesIn)));
    const int32_t F = static_cast<int32_t>(mxGetNumberOfElements(call.input(candidateFeaturesIn)));
    if (n == 0) return std::vector<std::vector<double>>(3, std::vector<double>(static_cast<size_t>(F)));
    split::BinnedJob job{call.data<uint8_t>(binnedDataIn),
                         static_cast<int32_t>(mxGetM(call.input(binnedDataIn))),
                         call.data<uint32_t>(labelsIn),
                         call.data<float>(weightsIn),
                         call.data<uint32_t>(nodeSamplesIn),
                         n,
                         call.data<uint32_t>(candidateFeaturesIn),
                         F,
                         call.data<double>(classWeightsIn),
                         fuzz::truncatedScalar(call.input(classCountIn)),
                         fuzz::truncatedScalar(call.input(binCountIn))};
    std::vector<double> classMass(static_cast<size_t>(job.K));
    split::binnedReference::nodeTotals(job, classMass.data());
    return fuzz::referenceSplitRows(module, static_cast<size_t>(F), [&](double *impurity, double *threshold, double *gain) {
        return split::binnedReference::binnedScan(job, {impurity, threshold, gain}, 1).kind != split::Fault::Kind::none;
    });
}

}  // namespace
