// [impurity, threshold, gain] = splitScanBinned(binnedData, labels, weights, B,
//     nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit)
// returns, for every listed feature, the lowest class-weighted Gini impurity of
// a split between two bins, the bin on the left of it and the gain over the node.
// The contract, for every host: read inputs and check every index -> create
// the outputs -> node totals, team size, one region -> any fault raised once
// the scratch is freed.
#include <cassert>
#include <cinttypes>
#include <memory>
#include <new>

#include "common/memory.h"

#include "common/parallel.h"
#include "contract/modules.h"
#include "binned/binnedScan.h"

namespace {

using contract::ElementClass;
namespace reason = contract::reason;
using contract::numberText;

using namespace modules::splitScanBinnedSlots;

// A count, truncated toward zero, of at least 1; NaN, infinities and values
// beyond the 32-bit range truncate to INT32_MIN and are refused with it.
int32_t readCount(const contract::Call &call, int input, const char *what) {
    const double value = call.scalar(input);
    const int32_t count = contract::truncateToInt32(value);
    if (count < 1)
        call.failInput(input, reason::badValue, "must be a %s from 1 to %d; it is %s.", what, INT32_MAX,
                       numberText(value).text);
    return count;
}

// Every element of a list of zero-based indices (samples or features) is
// below `limit`, the rows or columns of binnedData.
void checkIndexList(const contract::Call &call, int input, size_t limit, const char *item, const char *extent) {
    const uint32_t *list = call.data<uint32_t>(input);
    const size_t count = call.view(input).count;
    const char *binnedData = call.name(binnedDataIn);
    if (limit == 0 && count > 0)
        call.failInput(input, reason::indexOutOfRange, "lists %zu %ss, but %s is empty (0 %s): there is no %s to list.",
                       count, item, binnedData, extent, item);
    for (size_t i = 0; i < count; ++i) {
        if (list[i] < limit) continue;
        if (call.numpyTerms())
            call.failInput(input, reason::indexOutOfRange,
                           "holds %" PRId64 " at %s; %s indices must lie in 0 ... %zu (%s.shape[%d] is %zu).",
                           call.indexValue(input, i), call.elementName(input, i).text, item, limit - 1, binnedData,
                           extent[0] == 'r' ? 0 : 1, limit);
        call.failInput(input, reason::indexOutOfRange,
                           "element %zu is %" PRId64 "; zero-based %s numbers must lie in 0..%zu (%s of %s).", i + 1,
                           call.indexValue(input, i), item, limit - 1, extent, binnedData);
    }
}

// Every listed sample's label lies in 1..K; unlisted samples are never read.
void checkListedLabels(const contract::Call &call, const uint32_t *nodeSamples, int32_t n, int32_t K) {
    const uint32_t *labels = call.data<uint32_t>(labelsIn);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        // Label 0 and negative int32 labels wrap to large values.
        if (labels[s] - 1u < static_cast<uint32_t>(K)) continue;
        if (call.numpyTerms())
            call.failInput(labelsIn, reason::labelOutOfRange,
                           "holds %" PRId64 " at %s (sample %" PRIu32 ", listed at %s); labels must lie in 1 ... %" PRId32
                           " (%s).",
                           call.indexValue(labelsIn, s), call.elementName(labelsIn, s).text, s,
                           call.elementName(nodeSamplesIn, static_cast<size_t>(i)).text, K, call.name(classCountIn));
        call.failInput(labelsIn, reason::labelOutOfRange,
                           "element %" PRIu32 " (sample %" PRIu32 ", listed in %s) is %" PRId64
                           "; labels must lie in 1..%" PRId32 " (%s).",
                           s + 1, s, call.name(nodeSamplesIn), call.indexValue(labelsIn, s), K,
                           call.name(classCountIn));
    }
}

// Reads and checks every input; the job's W and G0 are the scan's to fill.
split::BinnedJob readInputs(const contract::Call &call, int32_t &threadLimit) {
    // Classes and sizes. The value of `unused` plays no part, whatever its class.
    call.requireClass(binnedDataIn, ElementClass::uint8);
    call.requireMatrix(binnedDataIn);
    const int32_t M = call.dimension(binnedDataIn, call.view(binnedDataIn).rows, "rows");
    const size_t columns = call.view(binnedDataIn).columns;
    const contract::Call::Phrase perRow{"one per row of %s", binnedDataIn};
    call.requireIndexClass(labelsIn);
    // One label per feature rather than per sample: binnedData is likelier transposed.
    const size_t labelCount = call.view(labelsIn).count;
    if (call.numpyTerms() && labelCount < static_cast<size_t>(M) && labelCount == columns)
        call.failInput(labelsIn, reason::wrongSize,
                       "holds %zu elements, one per column of %s, not per row (%d): is %s transposed? It must be "
                       "samples by features, len(%s) >= %s.shape[0].",
                       labelCount, call.name(binnedDataIn), M, call.name(binnedDataIn), call.name(labelsIn),
                       call.name(binnedDataIn));
    call.requireAtLeastElements(labelsIn, M, perRow);
    call.requireClass(weightsIn, ElementClass::float32);
    call.requireAtLeastElements(weightsIn, M, perRow);
    call.requireIndexClass(nodeSamplesIn);
    const int32_t n = call.dimension(nodeSamplesIn, call.view(nodeSamplesIn).count, "elements");
    call.requireIndexClass(candidateFeaturesIn);
    const int32_t F = call.dimension(candidateFeaturesIn, call.view(candidateFeaturesIn).count, "elements");
    call.requireClass(classWeightsIn, ElementClass::float64);
    threadLimit = call.threadBound(threadLimitIn);

    // Counts and index values. Without listed samples B and K play no part.
    int32_t B = 0;
    int32_t K = 0;
    if (n > 0) {
        B = readCount(call, binCountIn, "number of bins");
        K = readCount(call, classCountIn, "number of classes");
        call.requireAtLeastElements(classWeightsIn, K, {"one per class"});
    } else {
        call.scalar(binCountIn);
        call.scalar(classCountIn);
    }
    const uint32_t *nodeSamples = call.data<uint32_t>(nodeSamplesIn);
    checkIndexList(call, nodeSamplesIn, static_cast<size_t>(M), "sample", "rows");
    checkListedLabels(call, nodeSamples, n, K);
    checkIndexList(call, candidateFeaturesIn, columns, "feature", "columns");

    split::BinnedJob job{};
    job.binnedData = call.strided<uint8_t>(binnedDataIn).data;  // in place; see gather()
    job.M = M;
    job.labels = call.data<uint32_t>(labelsIn);
    job.weights = call.data<float>(weightsIn);
    job.nodeSamples = nodeSamples;
    job.n = n;
    job.candidateFeatures = call.data<uint32_t>(candidateFeaturesIn);
    job.F = F;
    job.classWeights = call.data<double>(classWeightsIn);
    job.K = K;
    job.B = B;
    return job;
}

// The listed samples x the listed features of a binnedData not stored
// column-major, gathered column-major in list order with the samples'
// labels and weights: the kernels then read, position by position, what
// they would read in place, and give the same bits. Nothing else is copied.
// One block: five allocations would cost a small call more than its copy.
struct Gathered {
    std::unique_ptr<unsigned char[]> block;

    static uint64_t bytes(const split::BinnedJob &job) {
        const uint64_t n = static_cast<uint64_t>(job.n), F = static_cast<uint64_t>(job.F);
        return n * F + n * (2 * sizeof(uint32_t) + sizeof(float)) + F * sizeof(uint32_t);
    }
};

// `job` with its binnedData at `binned`, rewritten to read `g`; fails only
// for want of memory.
split::Fault gather(const contract::StridedOf<uint8_t> &binned, split::BinnedJob &job, Gathered &g) {
    const uint64_t bytes = Gathered::bytes(job);
    uint64_t available = 0;
    if (!memory::scratchFits(bytes, &available)) return split::Fault::outOfMemory(bytes, available);
    const size_t n = static_cast<size_t>(job.n), F = static_cast<size_t>(job.F);
    try {
        g.block.reset(new unsigned char[static_cast<size_t>(bytes)]);
    } catch (const std::bad_alloc &) {
        return split::Fault::outOfMemory(bytes);
    }
    unsigned char *block = g.block.get();
    // The four-byte arrays first, the bins after them.
    uint32_t *labels = reinterpret_cast<uint32_t *>(block);
    uint32_t *samples = labels + n;
    uint32_t *features = samples + n;
    float *weights = reinterpret_cast<float *>(features + F);
    uint8_t *bins = reinterpret_cast<uint8_t *>(weights + n);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t s = job.nodeSamples[i];
        const uint8_t *row = binned.data + static_cast<ptrdiff_t>(s) * binned.rowStep;
        for (size_t f = 0; f < F; ++f)
            bins[f * n + i] = row[static_cast<ptrdiff_t>(job.candidateFeatures[f]) * binned.columnStep];
        labels[i] = job.labels[s];
        weights[i] = job.weights[s];
        samples[i] = static_cast<uint32_t>(i);
    }
    for (size_t f = 0; f < F; ++f) features[f] = static_cast<uint32_t>(f);
    job.binnedData = bins;
    job.M = job.n;
    job.labels = labels;
    job.weights = weights;
    job.nodeSamples = samples;
    job.candidateFeatures = features;
    return {};
}

void raiseGatherFault(const contract::Call &call, const split::BinnedJob &job, const split::Fault &fault) {
    const char *binnedData = call.name(binnedDataIn);
    if (fault.available > 0)
        call.fail(reason::outOfMemory,
                  "Scratch: the copy of the %" PRId32 " listed samples by %" PRId32 " listed features of %s (not "
                  "stored column-major) needs %" PRIu64 " bytes, more than the %" PRIu64
                  " bytes the system reports available.",
                  job.n, job.F, binnedData, fault.bytes, fault.available);
    call.fail(reason::outOfMemory,
              "Scratch: the copy of the %" PRId32 " listed samples by %" PRId32 " listed features of %s (not "
              "stored column-major) needs %" PRIu64 " bytes, which could not be allocated.",
              job.n, job.F, binnedData, fault.bytes);
}

// Raises what stopped the scan, once its scratch is freed. `job` is the
// call's own, before any gather: a fault's positions are the same in both.
void raiseFault(const contract::Call &call, const split::BinnedJob &job, const split::Fault &fault, int team) {
    switch (fault.kind) {
    case split::Fault::Kind::none:
        return;
    case split::Fault::Kind::labelOutOfRange:
    case split::Fault::Kind::sampleOutOfRange:
        // Labels and sample numbers were checked above; the scan reports neither.
        assert(!"splitScanBinned: a fault the scan never reports");
        return;
    case split::Fault::Kind::outOfMemory: {
        const contract::Argument threads = call.argument(threadLimitIn);
        if (fault.available > 0)
            call.fail(reason::outOfMemory,
                      "Scratch: the scan needs %" PRIu64 " bytes (class histograms for K = %" PRId32
                      " classes on up to %d threads, and %" PRId32
                      " listed samples), more than the %" PRIu64
                      " bytes the system reports available; lower argument %d (%s) or use fewer classes.",
                      fault.bytes, job.K, team, job.n, fault.available, threads.position, threads.name);
        call.fail(reason::outOfMemory,
                  "Scratch: the scan needs %" PRIu64 " bytes (class histograms for K = %" PRId32
                  " classes on up to %d threads, and %" PRId32
                  " listed samples), which could not be allocated; lower argument %d (%s) or use fewer "
                  "classes.",
                  fault.bytes, job.K, team, job.n, threads.position, threads.name);
    }
    case split::Fault::Kind::binOutOfRange: {
        const uint32_t feature = job.candidateFeatures[fault.index];
        const uint32_t sample = job.nodeSamples[fault.listIndex];
        const int value = call.strided<uint8_t>(binnedDataIn).at(sample, feature);
        const int64_t at = static_cast<int64_t>(job.M) * feature + sample;
        if (call.numpyTerms())
            call.failInput(binnedDataIn, reason::badValue,
                           "holds bin value %d at %s (listed at %s and %s); bin values must lie in 0 ... %" PRId32
                           " (%s - 1).",
                           value, call.elementName(binnedDataIn, static_cast<size_t>(at)).text,
                           call.elementName(nodeSamplesIn, static_cast<size_t>(fault.listIndex)).text,
                           call.elementName(candidateFeaturesIn, static_cast<size_t>(fault.index)).text, job.B - 1,
                           call.name(binCountIn));
        call.failInput(binnedDataIn, reason::badValue,
                       "holds bin value %d for sample %" PRIu32 " in feature %" PRIu32
                       " (zero-based, listed at element %" PRId64 " of %s); bin values "
                       "must lie in 0..%" PRId32 " (%s - 1).",
                       value, sample, feature, fault.index + 1, call.name(candidateFeaturesIn), job.B - 1,
                       call.name(binCountIn));
    }
    }
}

void run(contract::Call &call) {
    int32_t threadLimit = 0;
    split::BinnedJob job = readInputs(call, threadLimit);

    // Outputs, zero-filled: a feature without an improving split keeps them.
    auto row = [&](int slot) {
        return call.output<double>(slot, contract::OutputShape::row, 1, job.F, ElementClass::float64);
    };
    const split::SplitRows rows{row(impurityOut), row(thresholdOut), row(gainOut)};
    // An empty node has no split to record.
    if (job.n == 0 || job.F == 0) return;

    // Scratch check, shared values, team size, one region. Scratch lives only
    // inside the kernel calls, so errors are raised after they return.
    const contract::StridedOf<uint8_t> binned = call.strided<uint8_t>(binnedDataIn);
    split::Fault fault;
    bool gatherFailed = false;
    int team = 1;
    {
        const contract::Call::Region region(call);
        split::BinnedJob scanned = job;
        Gathered gathered;
        if (!binned.columnMajor(static_cast<size_t>(job.M))) {
            fault = gather(binned, scanned, gathered);
            gatherFailed = fault.kind != split::Fault::Kind::none;
        }
        if (!gatherFailed) {
            team = split::binnedTeam(scanned, parallel::boundedTeam(threadLimit));
            fault = split::binnedScratchCheck(scanned, team);
            if (fault.kind == split::Fault::Kind::none) fault = split::binnedNodeTotals(scanned);
            if (fault.kind == split::Fault::Kind::none) {
                parallel::keepThreadRuntimeLoaded();
                fault = split::binnedScan(scanned, rows, team);
            }
        }
    }
    if (gatherFailed) raiseGatherFault(call, job, fault);
    raiseFault(call, job, fault, team);
}

}  // namespace

const contract::Module modules::splitScanBinned{"splitScanBinned", "split_scan_binned", inputs, inputCount, outputs,
                                                outputCount, run, reasons, reasonCount};
