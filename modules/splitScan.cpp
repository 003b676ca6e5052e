// [impurity, threshold, gain] = splitScan(X, labels, weights, sortedOrder, K, unused, classWeights)
// returns, for every real-valued feature of a decision-tree node, the lowest
// class-weighted Gini impurity that one threshold reaches, the threshold and
// the gain over the node's own impurity. The contract, for every host: read
// inputs -> create the outputs -> node totals, team size, one region -> any
// fault raised once the scratch is freed.
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "common/memory.h"
#include "common/parallel.h"
#include "contract/modules.h"
#include "gini/fault.h"
#include "sweep/sweep.h"

namespace {

using namespace modules::splitScanSlots;

// Owns every scratch table of the call: the node's class masses and the
// sweep's scratch, all allocated before the region.
split::Fault computeSplits(const split::SweepInput &in, const split::SplitRows &rows, int team) {
    using split::Fault;
    // Scratch the system cannot give is refused before any of it is made.
    const bool packOrder = !in.orderSteps.contiguousColumns();
    const uint64_t bytes =
        static_cast<uint64_t>(in.K) * sizeof(double) + split::SweepScratch::bytes(in.M, in.K, team, packOrder);
    uint64_t available = 0;
    if (!memory::scratchFits(bytes, &available)) return Fault::outOfMemory(bytes, available);
    std::vector<double> classMass;
    std::optional<split::SweepScratch> scratch;
    try {
        classMass.assign(static_cast<size_t>(in.K), 0.0);
        scratch.emplace(in.M, in.K, team, packOrder);
    } catch (const std::bad_alloc &) {
        return Fault::outOfMemory(bytes);
    }

    split::NodeTotals node{};
    const Fault badLabel = split::nodeTotals(in, classMass.data(), node);
    if (badLabel.kind != Fault::Kind::none) return badLabel;

    parallel::keepThreadRuntimeLoaded();
    return split::scanSortedFeatures(in, node, rows, team, *scratch);
}

// sortedOrder as an M-row matrix. Only its element count is required, so it
// may come in any shape: read in place where it has M rows or is one long
// column, else through the host's column-major copy.
struct OrderMatrix {
    const uint32_t *data;
    split::Steps steps;
};

OrderMatrix orderMatrix(const contract::Call &call, int32_t M) {
    const contract::ArrayView v = call.view(sortedOrderIn);
    if (v.ndims > 2 || (v.rows != static_cast<size_t>(M) && v.columns != 1))
        return {call.data<uint32_t>(sortedOrderIn), split::Steps::columnMajor(M)};
    const contract::StridedOf<uint32_t> s = call.strided<uint32_t>(sortedOrderIn);
    if (v.rows == static_cast<size_t>(M)) return {s.data, {s.rowStep, s.columnStep}};
    return {s.data, {s.rowStep, s.rowStep * M}};
}

// The entry at a fault's column-major index, as the caller wrote it.
int64_t orderValue(const contract::Call &call, const split::SweepInput &in, int64_t index) {
    const uint32_t v =
        in.sortedOrder[(index % in.M) * in.orderSteps.row + (index / in.M) * in.orderSteps.column];
    return call.view(sortedOrderIn).cls == contract::ElementClass::int32 ? static_cast<int64_t>(static_cast<int32_t>(v))
                                                                         : v;
}

void run(contract::Call &call) {
    using contract::ElementClass;
    using contract::numberText;
    namespace reason = contract::reason;

    // Inputs. The value of `unused` plays no part, whatever its class.
    call.requireClass(featuresIn, ElementClass::float32);
    call.requireMatrix(featuresIn);
    const int32_t M = call.dimension(featuresIn, call.view(featuresIn).rows, "rows");
    const int32_t N = call.dimension(featuresIn, call.view(featuresIn).columns, "columns");
    call.requireIndexClass(labelsIn);
    const size_t labelCount = call.view(labelsIn).count;
    // An empty X beside labels is the likelier mistake.
    if (M == 0 && labelCount > 0)
        call.failInput(featuresIn, reason::wrongSize,
                       "is empty (%d by %d), but %s holds %zu elements: %s needs one row per sample.", M, N,
                       call.name(labelsIn), labelCount, call.name(featuresIn));
    const contract::Call::Phrase perRow{"one per row of %s", featuresIn};
    // One label per feature rather than per sample: X is likelier transposed.
    if (call.numpyTerms() && labelCount != static_cast<size_t>(M) && labelCount == static_cast<size_t>(N))
        call.failInput(labelsIn, reason::wrongSize,
                       "holds %zu elements, one per column of %s, not per row (%d): is %s transposed? It must be "
                       "samples by features, len(%s) == %s.shape[0].",
                       labelCount, call.name(featuresIn), M, call.name(featuresIn), call.name(labelsIn),
                       call.name(featuresIn));
    call.requireElements(labelsIn, static_cast<size_t>(M), perRow);
    call.requireClass(weightsIn, ElementClass::float32);
    call.requireElements(weightsIn, static_cast<size_t>(M), perRow);
    call.requireIndexClass(sortedOrderIn);
    call.requireShapeOf(sortedOrderIn, featuresIn);
    call.requireElements(sortedOrderIn, static_cast<size_t>(M) * static_cast<size_t>(N),
                         {"one per element of %s", featuresIn});
    // Checked before truncation: a negative, NaN or huge count must not reach
    // the table allocation. Without samples no label needs a class.
    const double classCount = call.scalar(classCountIn);
    const int32_t K = contract::truncateToInt32(classCount);
    if (!(classCount >= 0.0) || K < 0 || (K == 0 && M > 0))
        call.failInput(classCountIn, reason::badValue, "must be a class count from 1 to %d; it is %s.", INT32_MAX,
                       numberText(classCount).text);
    call.requireClass(classWeightsIn, ElementClass::float64);
    call.requireAtLeastElements(classWeightsIn, static_cast<size_t>(K), {"one per class"});

    // X and sortedOrder in place, in whatever layout the host holds them.
    const contract::StridedOf<float> X = call.strided<float>(featuresIn);
    const OrderMatrix order = orderMatrix(call, M);
    const split::SweepInput in{X.data,     call.data<uint32_t>(labelsIn),     call.data<float>(weightsIn),
                               order.data, call.data<double>(classWeightsIn), M,
                               N,          K,                                 {X.rowStep, X.columnStep},
                               order.steps};

    // Outputs, zero-filled: a feature without an improvement keeps zeros.
    auto row = [&](int slot) { return call.output<double>(slot, contract::OutputShape::row, 1, N, ElementClass::float64); };
    const split::SplitRows rows{row(impurityOut), row(thresholdOut), row(gainOut)};

    // Node totals, team size, one region; errors only once the scratch is gone.
    const int team = split::sweepTeam(M, N, parallel::maxThreads());
    split::Fault fault;
    {
        const contract::Call::Region region(call);
        fault = computeSplits(in, rows, team);
    }
    switch (fault.kind) {
    case split::Fault::Kind::none:
    case split::Fault::Kind::binOutOfRange:
        return;
    case split::Fault::Kind::outOfMemory:
        if (fault.available > 0)
            call.fail(reason::outOfMemory,
                      "Scratch: the sweep tables for %d samples and %d classes on %d threads need %llu bytes, more "
                      "than the %llu bytes the system reports available.",
                      M, K, team, static_cast<unsigned long long>(fault.bytes),
                      static_cast<unsigned long long>(fault.available));
        call.fail(reason::outOfMemory,
                  "Scratch: the sweep tables for %d samples and %d classes on %d threads need %llu bytes, which "
                  "could not be allocated.",
                  M, K, team, static_cast<unsigned long long>(fault.bytes));
    case split::Fault::Kind::labelOutOfRange:
        if (call.numpyTerms())
            call.failInput(labelsIn, reason::labelOutOfRange, "holds %lld at %s; labels must lie in 1 ... %d (%s).",
                           static_cast<long long>(call.indexValue(labelsIn, fault.index)),
                           call.elementName(labelsIn, fault.index).text, K, call.name(classCountIn));
        call.failInput(labelsIn, reason::labelOutOfRange, "holds %lld at element %lld; labels must lie in 1 ... %d (%s).",
                       static_cast<long long>(call.indexValue(labelsIn, fault.index)),
                       static_cast<long long>(fault.index) + 1, K, call.name(classCountIn));
    case split::Fault::Kind::sampleOutOfRange:
        if (call.numpyTerms())
            call.failInput(sortedOrderIn, reason::indexOutOfRange,
                           "holds %lld at %s; sample indices must lie in 0 ... %d.",
                           static_cast<long long>(call.indexValue(sortedOrderIn, fault.index)),
                           call.elementName(sortedOrderIn, fault.index).text, M - 1);
        call.failInput(sortedOrderIn, reason::indexOutOfRange,
                       "holds %lld at element %lld (position %lld in the order of feature %lld); sample indices "
                       "must lie in 0 ... %d.",
                       static_cast<long long>(orderValue(call, in, fault.index)),
                       static_cast<long long>(fault.index) + 1, static_cast<long long>(fault.index % M) + 1,
                       static_cast<long long>(fault.index / M) + 1, M - 1);
    }
}

}  // namespace

const contract::Module modules::splitScan{"splitScan", "split_scan", inputs, inputCount, outputs, outputCount, run,
                                          reasons, reasonCount};
