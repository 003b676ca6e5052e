// [impurity, threshold, gain] = splitScanBinned(binnedData, labels, weights, B,
//     nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit)
// returns, for every listed feature, the lowest class-weighted Gini impurity of
// a split between two bins, the bin on the left of it and the gain over the node.
#include <cinttypes>

#include "gateway/args.h"
#include "gateway/parallel.h"
#include "split/binnedScan.h"

namespace {

const char *const moduleName = "splitScanBinned";
const char *const signature =
    "binnedData, labels, weights, B, nodeSamples, candidateFeatures, K, unused, classWeights, "
    "threadLimit";

enum Input {
    binnedDataArg,
    labelsArg,
    weightsArg,
    binCountArg,
    nodeSamplesArg,
    candidateFeaturesArg,
    classCountArg,
    unusedArg,
    classWeightsArg,
    threadLimitArg,
    inputCount
};
enum Output { impurityOut, thresholdOut, gainOut, outputCount };

const gateway::Arg binnedDataIn{1, "binnedData"};
const gateway::Arg labelsIn{2, "labels"};
const gateway::Arg weightsIn{3, "weights"};
const gateway::Arg binCountIn{4, "B"};
const gateway::Arg nodeSamplesIn{5, "nodeSamples"};
const gateway::Arg candidateFeaturesIn{6, "candidateFeatures"};
const gateway::Arg classCountIn{7, "K"};
const gateway::Arg unusedIn{8, "unused"};
const gateway::Arg classWeightsIn{9, "classWeights"};
const gateway::Arg threadLimitIn{10, "threadLimit"};

// An element of a uint32 or int32 array as the caller wrote it.
int64_t indexValue(const mxArray *a, size_t i) {
    const uint32_t v = static_cast<const uint32_t *>(mxGetData(a))[i];
    return mxGetClassID(a) == mxINT32_CLASS ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
}

// A count, truncated toward zero, of at least 1; NaN, infinities and values
// beyond the 32-bit range truncate to INT32_MIN and are refused with it.
int32_t readCount(const mxArray *a, gateway::Arg arg, const char *what) {
    const double value = gateway::readScalar(moduleName, a, arg);
    const int32_t count = gateway::truncateToInt32(value);
    if (count < 1)
        gateway::raiseError(moduleName, gateway::reason::badValue,
                            "Argument %d (%s) must be a %s from 1 to %d; it is %g.",
                            arg.position, arg.name, what, INT32_MAX, value);
    return count;
}

// Every listed sample is a row of binnedData.
void checkNodeSamples(const mxArray *samples, int32_t M) {
    const uint32_t *nodeSamples = static_cast<const uint32_t *>(mxGetData(samples));
    const size_t n = mxGetNumberOfElements(samples);
    for (size_t i = 0; i < n; ++i)
        if (nodeSamples[i] >= static_cast<uint32_t>(M))
            gateway::raiseError(moduleName, gateway::reason::indexOutOfRange,
                                "Argument %d (%s) element %zu is %" PRId64
                                "; zero-based sample numbers must lie in 0..%" PRId32 " (rows of binnedData).",
                                nodeSamplesIn.position, nodeSamplesIn.name, i + 1, indexValue(samples, i), M - 1);
}

// Every listed sample's label lies in 1..K; unlisted samples are never read.
void checkListedLabels(const mxArray *labelArray, const uint32_t *nodeSamples, int32_t n, int32_t K) {
    const uint32_t *labels = static_cast<const uint32_t *>(mxGetData(labelArray));
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        // Label 0 and negative int32 labels wrap to large values.
        if (labels[s] - 1u >= static_cast<uint32_t>(K))
            gateway::raiseError(moduleName, gateway::reason::labelOutOfRange,
                                "Argument %d (%s) element %" PRIu32 " (sample %" PRIu32
                                ", listed in nodeSamples) is %" PRId64 "; labels must lie in 1..%" PRId32 " (K).",
                                labelsIn.position, labelsIn.name, s + 1, s, indexValue(labelArray, s), K);
    }
}

// Every listed feature is a column of binnedData.
void checkCandidateFeatures(const mxArray *features, size_t columns) {
    const uint32_t *candidateFeatures = static_cast<const uint32_t *>(mxGetData(features));
    const size_t F = mxGetNumberOfElements(features);
    for (size_t p = 0; p < F; ++p)
        if (candidateFeatures[p] >= columns)
            gateway::raiseError(moduleName, gateway::reason::indexOutOfRange,
                                "Argument %d (%s) element %zu is %" PRId64
                                "; zero-based feature numbers must be below %zu (columns of binnedData).",
                                candidateFeaturesIn.position, candidateFeaturesIn.name, p + 1,
                                indexValue(features, p), columns);
}

}  // namespace

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    using namespace gateway;

    // Inputs: classes and sizes.
    checkArgCounts(moduleName, nlhs, nrhs, inputCount, outputCount, signature);
    const mxArray *binned = prhs[binnedDataArg];
    const mxArray *labelArray = prhs[labelsArg];
    const mxArray *weightArray = prhs[weightsArg];
    const mxArray *samples = prhs[nodeSamplesArg];
    const mxArray *features = prhs[candidateFeaturesArg];
    const mxArray *classWeightArray = prhs[classWeightsArg];
    requireRealClass(moduleName, binned, binnedDataIn, mxUINT8_CLASS);
    requireMatrix(moduleName, binned, binnedDataIn);
    const int32_t M = dimensionAsInt32(moduleName, mxGetM(binned), binnedDataIn, "rows");
    const size_t columns = mxGetN(binned);
    requireIndexClass(moduleName, labelArray, labelsIn);
    requireAtLeastElements(moduleName, labelArray, labelsIn, M, "one per row of binnedData");
    requireRealClass(moduleName, weightArray, weightsIn, mxSINGLE_CLASS);
    requireAtLeastElements(moduleName, weightArray, weightsIn, M, "one per row of binnedData");
    requireIndexClass(moduleName, samples, nodeSamplesIn);
    const int32_t n = dimensionAsInt32(moduleName, mxGetNumberOfElements(samples), nodeSamplesIn, "elements");
    requireIndexClass(moduleName, features, candidateFeaturesIn);
    const int32_t F = dimensionAsInt32(moduleName, mxGetNumberOfElements(features), candidateFeaturesIn, "elements");
    readScalar(moduleName, prhs[unusedArg], unusedIn);
    requireRealClass(moduleName, classWeightArray, classWeightsIn, mxDOUBLE_CLASS);
    const int32_t threadLimit = truncateToInt32(readScalar(moduleName, prhs[threadLimitArg], threadLimitIn));

    // Counts and index values. Without listed samples B and K play no part.
    int32_t B = 0;
    int32_t K = 0;
    if (n > 0) {
        B = readCount(prhs[binCountArg], binCountIn, "number of bins");
        K = readCount(prhs[classCountArg], classCountIn, "number of classes");
        requireAtLeastElements(moduleName, classWeightArray, classWeightsIn, K, "one per class");
    } else {
        readScalar(moduleName, prhs[binCountArg], binCountIn);
        readScalar(moduleName, prhs[classCountArg], classCountIn);
    }
    const uint32_t *nodeSamples = static_cast<const uint32_t *>(mxGetData(samples));
    const uint32_t *labels = static_cast<const uint32_t *>(mxGetData(labelArray));
    const uint32_t *candidateFeatures = static_cast<const uint32_t *>(mxGetData(features));
    checkNodeSamples(samples, M);
    checkListedLabels(labelArray, nodeSamples, n, K);
    checkCandidateFeatures(features, columns);

    const split::BinnedInputs in{static_cast<const uint8_t *>(mxGetData(binned)),
                                 M,
                                 labels,
                                 static_cast<const float *>(mxGetData(weightArray)),
                                 nodeSamples,
                                 n,
                                 candidateFeatures,
                                 F,
                                 static_cast<const double *>(mxGetData(classWeightArray)),
                                 K,
                                 B};

    // Outputs, zero-filled: a feature without an improving split keeps them.
    const split::SplitRows rows{
        static_cast<double *>(createOutput(plhs, nlhs, impurityOut, 1, F, mxDOUBLE_CLASS)),
        static_cast<double *>(createOutput(plhs, nlhs, thresholdOut, 1, F, mxDOUBLE_CLASS)),
        static_cast<double *>(createOutput(plhs, nlhs, gainOut, 1, F, mxDOUBLE_CLASS))};
    // An empty node has no split to record.
    if (n == 0 || F == 0) return;

    // Shared values, team size, one region. Scratch lives only inside the two
    // calls, so errors are raised after they return.
    split::BinnedNode node;
    if (!split::binnedNodeTotals(in, node))
        raiseError(moduleName, reason::outOfMemory,
                   "Not enough memory for the class table of %" PRId32 " classes (argument %d, %s).", K,
                   classCountIn.position, classCountIn.name);
    parallel::keepThreadRuntimeLoaded();
    const int team = parallel::boundedTeam(threadLimit);
    const split::BinnedStatus status = split::binnedScan(in, node, rows, team);

    if (status.failure == split::BinnedFailure::outOfMemory)
        raiseError(moduleName, reason::outOfMemory,
                   "The scan needs %" PRIu64 " bytes of scratch (class histograms for K = %" PRId32
                   " classes on %d threads, and %" PRId32 " listed samples); lower argument %d (%s) or "
                   "use fewer classes.",
                   status.scratchBytes, K, status.team, n, threadLimitIn.position, threadLimitIn.name);
    if (status.failure == split::BinnedFailure::binOutOfRange) {
        const uint32_t feature = candidateFeatures[status.position];
        const uint32_t sample = nodeSamples[status.listIndex];
        const int value = in.binnedData[static_cast<int64_t>(M) * feature + sample];
        raiseError(moduleName, reason::badValue,
                   "Argument %d (%s) holds bin value %d for sample %" PRIu32 " in feature %" PRIu32
                   " (zero-based, listed at element %" PRId32 " of candidateFeatures); bin values "
                   "must lie in 0..%" PRId32 " (B - 1).",
                   binnedDataIn.position, binnedDataIn.name, value, sample, feature,
                   status.position + 1, B - 1);
    }
}
