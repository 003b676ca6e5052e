// [impurity, threshold, gain] = splitScan(X, labels, weights, sortedOrder, K, unused, classWeights)
// returns, for every real-valued feature of a decision-tree node, the lowest
// class-weighted Gini impurity that one threshold reaches, the threshold and
// the gain over the node's own impurity.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "gateway/args.h"
#include "gateway/parallel.h"
#include "split/nodeTotals.h"
#include "split/sweep.h"

namespace {

const char *const moduleName = "splitScan";
const char *const signature = "X, labels, weights, sortedOrder, K, unused, classWeights";

enum Input { featuresArg, labelsArg, weightsArg, sortedOrderArg, classCountArg, unusedArg, classWeightsArg, inputCount };
enum Output { impurityOut, thresholdOut, gainOut, outputCount };

const gateway::Arg featuresIn{1, "X"};
const gateway::Arg labelsIn{2, "labels"};
const gateway::Arg weightsIn{3, "weights"};
const gateway::Arg sortedOrderIn{4, "sortedOrder"};
const gateway::Arg classCountIn{5, "K"};
const gateway::Arg classWeightsIn{7, "classWeights"};

// The team is the runtime's maximum, but never more than four threads.
const int teamLimit = 4;

// What went wrong in the computing phase, raised by the entry once the
// scratch tables are freed.
struct Fault {
    enum Kind { none, outOfMemory, badLabel, badSortedOrder } kind = none;
    int64_t index = 0;  // the sample (badLabel) or the element of sortedOrder (badSortedOrder)
};

// Owns every scratch table of the call: the node's class masses, the packed
// samples and each thread's class table, all allocated before the region.
Fault computeSplits(const split::SweepInput &in, const split::SplitRows &rows, int team) {
    std::vector<double> classMass;
    std::unique_ptr<split::SampleRecord[]> records;  // filled by the sweep, so not zeroed first
    std::vector<double> sweepTables;
    try {
        classMass.assign(static_cast<size_t>(in.K), 0.0);
        records.reset(new split::SampleRecord[static_cast<size_t>(in.M)]);
        sweepTables.resize(split::sweepTableDoubles(in.K, team));
    } catch (const std::bad_alloc &) {
        return {Fault::outOfMemory, 0};
    }

    const split::ClassMassPass pass = split::accumulateClassMass(in.labels, in.weights, in.M, in.K, classMass.data());
    if (pass.badSample >= 0) return {Fault::badLabel, pass.badSample};
    const split::NodeTotals node = split::nodeTotals(classMass.data(), in.classWeights, in.K, pass);

    parallel::keepThreadRuntimeLoaded();
    const int64_t badEntry = split::scanSortedFeatures(in, node, rows, team, {records.get(), sweepTables.data()});
    if (badEntry != split::noBadEntry) return {Fault::badSortedOrder, badEntry};
    return {};
}

// An element of a uint32 or int32 array as its class shows it in MATLAB.
long long indexValue(const mxArray *a, uint32_t raw) {
    if (mxGetClassID(a) == mxINT32_CLASS) return static_cast<int32_t>(raw);
    return raw;
}

}  // namespace

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    using namespace gateway;

    // Inputs.
    checkArgCounts(moduleName, nlhs, nrhs, inputCount, outputCount, signature);
    const mxArray *features = prhs[featuresArg];
    const mxArray *labels = prhs[labelsArg];
    const mxArray *weights = prhs[weightsArg];
    const mxArray *sortedOrder = prhs[sortedOrderArg];
    const mxArray *classWeights = prhs[classWeightsArg];
    requireRealClass(moduleName, features, featuresIn, mxSINGLE_CLASS);
    requireMatrix(moduleName, features, featuresIn);
    const int32_t M = dimensionAsInt32(moduleName, mxGetM(features), featuresIn, "rows");
    const int32_t N = dimensionAsInt32(moduleName, mxGetN(features), featuresIn, "columns");
    requireIndexClass(moduleName, labels, labelsIn);
    requireElements(moduleName, labels, labelsIn, static_cast<size_t>(M), "one per row of X");
    requireRealClass(moduleName, weights, weightsIn, mxSINGLE_CLASS);
    requireElements(moduleName, weights, weightsIn, static_cast<size_t>(M), "one per row of X");
    requireIndexClass(moduleName, sortedOrder, sortedOrderIn);
    requireElements(moduleName, sortedOrder, sortedOrderIn, static_cast<size_t>(M) * static_cast<size_t>(N),
                    "one per element of X");
    // Checked before truncation: a negative, NaN or huge count must not reach
    // the table allocation. Without samples no label needs a class.
    const double classCount = readScalar(moduleName, prhs[classCountArg], classCountIn);
    const int32_t K = truncateToInt32(classCount);
    if (!(classCount >= 0.0) || K < 0 || (K == 0 && M > 0))
        raiseError(moduleName, reason::badValue,
                   "Argument %d (%s) must be a class count from 1 to %d; it is %g.", classCountIn.position,
                   classCountIn.name, INT32_MAX, classCount);
    // The value of argument 6 plays no part; the position only has to be filled.
    requireRealClass(moduleName, classWeights, classWeightsIn, mxDOUBLE_CLASS);
    requireAtLeastElements(moduleName, classWeights, classWeightsIn, static_cast<size_t>(K), "one per class");

    const split::SweepInput in{static_cast<const float *>(mxGetData(features)),
                               static_cast<const uint32_t *>(mxGetData(labels)),
                               static_cast<const float *>(mxGetData(weights)),
                               static_cast<const uint32_t *>(mxGetData(sortedOrder)),
                               static_cast<const double *>(mxGetData(classWeights)),
                               M, N, K};

    // Outputs, zero-filled: a feature without an improvement keeps zeros.
    split::SplitRows rows;
    rows.impurity = static_cast<double *>(createOutput(plhs, nlhs, impurityOut, 1, N, mxDOUBLE_CLASS));
    rows.threshold = static_cast<double *>(createOutput(plhs, nlhs, thresholdOut, 1, N, mxDOUBLE_CLASS));
    rows.gain = static_cast<double *>(createOutput(plhs, nlhs, gainOut, 1, N, mxDOUBLE_CLASS));

    // Node totals, team size, one region; errors only once the scratch is gone.
    const int team = std::min(parallel::maxThreads(), teamLimit);
    const Fault fault = computeSplits(in, rows, team);
    switch (fault.kind) {
    case Fault::none:
        return;
    case Fault::outOfMemory:
        raiseError(moduleName, reason::outOfMemory,
                   "Out of memory allocating the sweep tables for %d samples and %d classes on %d threads.", M, K,
                   team);
    case Fault::badLabel: {
        const uint32_t label = in.labels[fault.index];
        raiseError(moduleName, reason::labelOutOfRange,
                   "Argument %d (%s) holds %lld at element %lld; labels must lie in 1 ... %d (K).",
                   labelsIn.position, labelsIn.name, indexValue(labels, label),
                   static_cast<long long>(fault.index) + 1, K);
    }
    case Fault::badSortedOrder: {
        const uint32_t entry = in.sortedOrder[fault.index];
        raiseError(moduleName, reason::indexOutOfRange,
                   "Argument %d (%s) holds %lld at element %lld (position %lld in the order of feature "
                   "%lld); sample indices must lie in 0 ... %d.",
                   sortedOrderIn.position, sortedOrderIn.name, indexValue(sortedOrder, entry),
                   static_cast<long long>(fault.index) + 1, static_cast<long long>(fault.index % M) + 1,
                   static_cast<long long>(fault.index / M) + 1, M - 1);
    }
    }
}
