// The presorted threshold sweep: for every feature, samples move one at a time
// from the right side of the split to the left in the feature's sorted order,
// and the lowest split impurity, its threshold and its gain are recorded.
//
// The running sums of both sides are carried sample by sample in the plain
// order; the split impurities of a group of positions are then evaluated
// together, lane by lane with the same operations as splitGini, in a portable
// version and in SIMD versions chosen at run time. Every version gives the
// bits of the plain sweep.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nodeTotals.h"
#include "rows.h"

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


// Returned when every sortedOrder entry lay within 0..M-1.
inline constexpr int64_t noBadEntry = -1;

// A sample's weight widened to double, its zero-based class and whether its
// weight is not zero, packed once per call so that one access fetches all.
struct SampleRecord {
    double weight;
    uint32_t classIndex;
    int32_t weighted;
};

// Scratch of one call, allocated by the caller before the region: M records,
// and sweepTableDoubles(K, team) doubles of class tables (the starting table,
// then one working table per thread, each on cache lines of its own). A
// table holds, per class, the masses of both sides and their current
// classTerm, so that a retracted term is never recomputed.
struct SweepScratch {
    SampleRecord *records;
    double *tables;
};
size_t sweepTableDoubles(int32_t K, int team);

// The versions of the block evaluation; not every one is built on every
// platform or runs on every processor.
enum class SweepKernel { scalar, avx2, avx512 };
bool sweepKernelAvailable(SweepKernel kernel);
SweepKernel fastestSweepKernel();

// Sweeps every feature on one parallel region of `team` threads, each taking a
// contiguous block of features (the first N mod T threads one more). The
// results do not depend on the team size or the kernel. Every sortedOrder
// entry is checked as the sweep reads it: a feature stops at its first entry
// outside 0..M-1, keeping what it found before, and its thread sweeps no
// later feature (so which other features were swept then depends on the
// team). Returns the linear index of the first bad entry of the lowest
// feature that has one, or noBadEntry.
int64_t scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                           const SweepScratch &scratch);
// The same with a chosen kernel, which must be available.
int64_t scanSortedFeaturesWith(SweepKernel kernel, const SweepInput &in, const NodeTotals &node,
                               const SplitRows &out, int team, const SweepScratch &scratch);

}  // namespace split
