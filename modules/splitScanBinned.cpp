// [impurity, threshold, gain] = splitScanBinned(binnedData, labels, weights, B,
//     nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit)
// returns, for every listed feature, the lowest class-weighted Gini impurity of
// a split between two bins, the bin on the left of it and the gain over the node.
#include <cassert>
#include <cinttypes>
#include <iterator>

#include "mex/call.h"
#include "common/memory.h"
#include "common/parallel.h"
#include "binned/binnedScan.h"

namespace {

namespace reason = gateway::reason;
using gateway::numberText;

enum Input {
    binnedDataIn,
    labelsIn,
    weightsIn,
    binCountIn,
    nodeSamplesIn,
    candidateFeaturesIn,
    classCountIn,
    unusedIn,
    classWeightsIn,
    threadLimitIn,
    inputCount
};
const char *const inputNames[] = {"binnedData",        "labels", "weights", "B",
                                  "nodeSamples",       "candidateFeatures",
                                  "K",                 "unused", "classWeights",
                                  "threadLimit"};
static_assert(std::size(inputNames) == inputCount, "one name per input");
enum Output { impurityOut, thresholdOut, gainOut, outputCount };

const gateway::Signature signature{"splitScanBinned", inputNames, inputCount, outputCount};

// A count, truncated toward zero, of at least 1; NaN, infinities and values
// beyond the 32-bit range truncate to INT32_MIN and are refused with it.
int32_t readCount(const gateway::Call &call, int input, const char *what) {
    const double value = call.scalar(input);
    const int32_t count = gateway::truncateToInt32(value);
    if (count < 1)
        call.failInput(input, reason::badValue, "must be a %s from 1 to %d; it is %s.", what, INT32_MAX,
                       numberText(value).text);
    return count;
}

// Every element of a list of zero-based indices (samples or features) is
// below `limit`, the rows or columns of binnedData.
void checkIndexList(const gateway::Call &call, int input, size_t limit, const char *item, const char *extent) {
    const uint32_t *list = call.data<uint32_t>(input);
    const size_t count = mxGetNumberOfElements(call[input]);
    if (limit == 0 && count > 0)
        call.failInput(input, reason::indexOutOfRange,
                       "lists %zu %ss, but binnedData is empty (0 %s): there is no %s to list.", count, item, extent,
                       item);
    for (size_t i = 0; i < count; ++i)
        if (list[i] >= limit)
            call.failInput(input, reason::indexOutOfRange,
                           "element %zu is %" PRId64 "; zero-based %s numbers must lie in 0..%zu (%s of binnedData).",
                           i + 1, call.indexValue(input, i), item, limit - 1, extent);
}

// Every listed sample's label lies in 1..K; unlisted samples are never read.
void checkListedLabels(const gateway::Call &call, const uint32_t *nodeSamples, int32_t n, int32_t K) {
    const uint32_t *labels = call.data<uint32_t>(labelsIn);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        // Label 0 and negative int32 labels wrap to large values.
        if (labels[s] - 1u >= static_cast<uint32_t>(K))
            call.failInput(labelsIn, reason::labelOutOfRange,
                           "element %" PRIu32 " (sample %" PRIu32 ", listed in nodeSamples) is %" PRId64
                           "; labels must lie in 1..%" PRId32 " (K).",
                           s + 1, s, call.indexValue(labelsIn, s), K);
    }
}

}  // namespace

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    const gateway::Call call(signature, nlhs, plhs, nrhs, prhs);

    // Inputs: classes and sizes. The value of `unused` plays no part, whatever its class.
    call.requireClass(binnedDataIn, mxUINT8_CLASS);
    call.requireMatrix(binnedDataIn);
    const int32_t M = call.dimension(binnedDataIn, mxGetM(call[binnedDataIn]), "rows");
    const size_t columns = mxGetN(call[binnedDataIn]);
    call.requireIndexClass(labelsIn);
    call.requireAtLeastElements(labelsIn, M, "one per row of binnedData");
    call.requireClass(weightsIn, mxSINGLE_CLASS);
    call.requireAtLeastElements(weightsIn, M, "one per row of binnedData");
    call.requireIndexClass(nodeSamplesIn);
    const int32_t n = call.dimension(nodeSamplesIn, mxGetNumberOfElements(call[nodeSamplesIn]), "elements");
    call.requireIndexClass(candidateFeaturesIn);
    const int32_t F = call.dimension(candidateFeaturesIn, mxGetNumberOfElements(call[candidateFeaturesIn]), "elements");
    call.requireClass(classWeightsIn, mxDOUBLE_CLASS);
    const int32_t threadLimit = call.truncatedScalar(threadLimitIn);

    // Counts and index values. Without listed samples B and K play no part.
    int32_t B = 0;
    int32_t K = 0;
    if (n > 0) {
        B = readCount(call, binCountIn, "number of bins");
        K = readCount(call, classCountIn, "number of classes");
        call.requireAtLeastElements(classWeightsIn, K, "one per class");
    } else {
        call.scalar(binCountIn);
        call.scalar(classCountIn);
    }
    const uint32_t *nodeSamples = call.data<uint32_t>(nodeSamplesIn);
    const uint32_t *candidateFeatures = call.data<uint32_t>(candidateFeaturesIn);
    checkIndexList(call, nodeSamplesIn, static_cast<size_t>(M), "sample", "rows");
    checkListedLabels(call, nodeSamples, n, K);
    checkIndexList(call, candidateFeaturesIn, columns, "feature", "columns");

    split::BinnedJob job{};
    job.binnedData = call.data<uint8_t>(binnedDataIn);
    job.M = M;
    job.labels = call.data<uint32_t>(labelsIn);
    job.weights = call.data<float>(weightsIn);
    job.nodeSamples = nodeSamples;
    job.n = n;
    job.candidateFeatures = candidateFeatures;
    job.F = F;
    job.classWeights = call.data<double>(classWeightsIn);
    job.K = K;
    job.B = B;

    // Outputs, zero-filled: a feature without an improving split keeps them.
    const split::SplitRows rows{static_cast<double *>(call.output(impurityOut, 1, F, mxDOUBLE_CLASS)),
                                static_cast<double *>(call.output(thresholdOut, 1, F, mxDOUBLE_CLASS)),
                                static_cast<double *>(call.output(gainOut, 1, F, mxDOUBLE_CLASS))};
    // An empty node has no split to record.
    if (n == 0 || F == 0) return;

    // Scratch check, shared values, team size, one region. Scratch lives only
    // inside the kernel calls, so errors are raised after they return.
    const int team = split::binnedTeam(job, parallel::boundedTeam(threadLimit));
    split::Fault fault = split::binnedScratchCheck(job, team);
    if (fault.kind == split::Fault::Kind::none) fault = split::binnedNodeTotals(job);
    if (fault.kind == split::Fault::Kind::none) {
        parallel::keepThreadRuntimeLoaded();
        fault = split::binnedScan(job, rows, team);
    }

    switch (fault.kind) {
    case split::Fault::Kind::none:
        return;
    case split::Fault::Kind::labelOutOfRange:
    case split::Fault::Kind::sampleOutOfRange:
        // Labels and sample numbers were checked above; the scan reports neither.
        assert(!"splitScanBinned: a fault the scan never reports");
        return;
    case split::Fault::Kind::outOfMemory:
        if (fault.available > 0)
            call.fail(reason::outOfMemory,
                      "Scratch: the scan needs %" PRIu64 " bytes (class histograms for K = %" PRId32
                      " classes on up to %d threads, and %" PRId32
                      " listed samples), more than the %" PRIu64
                      " bytes the system reports available; lower argument %d (threadLimit) or use fewer classes.",
                      fault.bytes, K, team, n, fault.available, threadLimitIn + 1);
        call.fail(reason::outOfMemory,
                  "Scratch: the scan needs %" PRIu64 " bytes (class histograms for K = %" PRId32
                  " classes on up to %d threads, and %" PRId32
                  " listed samples), which could not be allocated; lower argument %d (threadLimit) or use fewer "
                  "classes.",
                  fault.bytes, K, team, n, threadLimitIn + 1);
    case split::Fault::Kind::binOutOfRange: {
        const uint32_t feature = candidateFeatures[fault.index];
        const uint32_t sample = nodeSamples[fault.listIndex];
        const int value = job.binnedData[static_cast<int64_t>(M) * feature + sample];
        call.failInput(binnedDataIn, reason::badValue,
                       "holds bin value %d for sample %" PRIu32 " in feature %" PRIu32
                       " (zero-based, listed at element %" PRId64 " of candidateFeatures); bin values "
                       "must lie in 0..%" PRId32 " (B - 1).",
                       value, sample, feature, fault.index + 1, B - 1);
    }
    }
}
