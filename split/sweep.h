// The presorted threshold sweep: for every feature, samples move one at a time
// from the right side of the split to the left in the feature's sorted order,
// and the lowest split impurity, its threshold and its gain are recorded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nodeTotals.h"

namespace split {

// Shared read-only inputs; matrices are column-major with M rows, one column
// per feature.
struct SweepInput {
    const float *X;               // M x N feature values
    const uint32_t *labels;       // M one-based labels, all within 1..K (checked by the node pass)
    const float *weights;         // M sample weights
    const uint32_t *sortedOrder;  // M x N zero-based sample indices, a column per feature
    const double *classWeights;   // K class weights
    int32_t M;
    int32_t N;
    int32_t K;
};

// Impurity, threshold and gain rows of N doubles, zero-filled by the caller: a
// feature without an improvement on G0 keeps 0 in all three.
struct SplitRows {
    double *impurity;
    double *threshold;
    double *gain;
};

// Returned when every sortedOrder entry lay within 0..M-1.
inline constexpr int64_t noBadEntry = -1;

// Sweeps feature j with leftMass and rightMass as scratch (K doubles each).
// Every entry of the column is checked as it is read; at the first one outside
// 0..M-1 the sweep stops and returns its linear index into sortedOrder,
// otherwise noBadEntry.
int64_t sweepFeature(const SweepInput &in, const NodeTotals &node, int32_t j, double *leftMass,
                     double *rightMass, const SplitRows &out);

// Doubles of scratch that scanSortedFeatures needs: two tables per thread,
// kept a cache line apart.
size_t scanScratchDoubles(int32_t K, int team);

// Sweeps every feature on one parallel region of `team` threads, each taking a
// contiguous block of features (the first N mod T threads one more). The
// results do not depend on the team size. `scratch` holds
// scanScratchDoubles(K, team) doubles, so nothing is allocated inside the
// region. Returns the linear index of the first bad sortedOrder entry of the
// lowest feature that has one, or noBadEntry.
int64_t scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                           double *scratch);

}  // namespace split
