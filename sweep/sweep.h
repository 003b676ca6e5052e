// The presorted threshold sweep: for every feature, samples move one at a time
// from the right side of the split to the left in the feature's sorted order,
// and the lowest split impurity, its threshold and its gain are recorded.
//
// reference.h holds the node totals and the sweep written plainly, one
// position at a time; read it first. The code here performs the same
// operations in the same order and gives the same bits: it packs each
// sample's weight and class once per call (on smaller nodes once per
// thread), keeps each class's terms so that none is recomputed, and carries
// both sides of the split side by side (sweepBlock.h), in a portable version
// and an SSE2 one (sweepSse2.cpp), also built for AVX2 with a wider test
// (sweepAvx2.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gini/fault.h"
#include "common/cpu.h"
#include "gini/rows.h"

namespace split {

// Where a matrix's elements lie: element (i, j) at data[i * row + j * column],
// steps in elements of any sign.
struct Steps {
    ptrdiff_t row;
    ptrdiff_t column;
    static Steps columnMajor(int32_t M) { return {1, M}; }
    // Each column's elements side by side, whatever lies between columns.
    bool contiguousColumns() const { return row == 1; }
};

// Shared read-only inputs; matrices have M rows, one column per feature, in
// any layout their steps describe.
struct SweepInput {
    const float *X;               // M x N feature values
    const uint32_t *labels;       // M one-based labels (the node pass checks them)
    const float *weights;         // M sample weights
    const uint32_t *sortedOrder;  // M x N zero-based sample indices, a column per feature
    const double *classWeights;   // K class weights
    int32_t M;
    int32_t N;
    int32_t K;
    Steps xSteps;
    Steps orderSteps;
};

// The node's own values, computed once by nodeTotals and shared read-only by
// every feature's sweep as its starting right side.
struct NodeTotals {
    const double *classMass;  // K entries, the weight of each class
    double W;                 // total sample weight, class weights not applied
    double S;                 // sum over classes of classTerm(classMass[k], classWeights[k])
    double G0;                // the node's impurity
    int32_t weightedSamples;  // samples whose weight is not zero
};

// A sample's weight widened to double and where its class's entry starts
// in a class table (in doubles: the zero-based class times the entry's
// size), packed once per call so that one access fetches both.
struct SampleRecord {
    double weight;
    uint64_t entry;
};

// The node's class masses, total weight W, weighted square sum S and
// impurity G0. Every sample's weight, widened to double, is added to W and to
// its class's entry of the zeroed table classMass (K doubles) in storage
// order; then S sums the classes' terms in class order. A label outside 1..K
// stops the pass (labelOutOfRange at that sample), so that the sweep may
// trust every label.
Fault nodeTotals(const SweepInput &in, double *classMass, NodeTotals &node);

// Below this many samples every thread of a team packs the samples into
// records of its own: records that another core has just written would each
// be fetched from that core's cache, one at a time in a column's shuffled
// order. From here on (512 KiB of records, half the second-level cache) the
// records no longer stay in a core's cache anyway, and one copy, packed
// before the region, serves the whole team, which keeps the scratch of a
// huge node at one copy (docs/performance.md).
inline constexpr int32_t ownRecordsBelow = 32768;

// Scratch of one call, allocated before the region (throws bad_alloc): the
// packed samples (a copy per thread below ownRecordsBelow samples), the class
// tables (the starting table, then one working table per thread, each on
// cache lines of its own; a table holds, per class, the masses of both sides
// and their current classTerm, so that a retracted term is never recomputed)
// and each thread's fault.
//
// A sortedOrder whose columns are not contiguous is read a few columns at a
// time into each thread's packed columns (packedColumns(M) of them,
// contiguous), so that a row-major one is read whole cache lines at a time
// into at most packedBytes per thread: pass packOrder =
// !orderSteps.contiguousColumns(). Contiguous
// columns are read in place, also where the columns are apart.
struct SweepScratch {
    SweepScratch(int32_t M, int32_t K, int team, bool packOrder = false);
    static uint64_t bytes(int32_t M, int32_t K, int team, bool packOrder = false);
    // Written before they are read, so not zeroed.
    std::unique_ptr<SampleRecord[]> records;
    std::unique_ptr<double[]> tables;
    std::unique_ptr<uint32_t[]> packed;  // packedWords(M) per thread, or none
    std::vector<Fault> faults;
};

// Columns of sortedOrder packed at a time: four cache lines of a row-major
// row, fewer where the thread's copy would pass packedBytes. Reading the rows
// is most of the packing's cost, and a row's slice that does not start on a
// line shares its end lines with the next block's, fetched again by then: the
// wider the block, the fewer such lines (docs/performance.md).
inline constexpr int32_t packedWidth = 64;
inline constexpr size_t packedBytes = size_t{4} << 20;
// Up to this many samples the entries are packed in 16 bits, twice as many
// columns at a time in as many bytes: half the stores, and a row of up to
// 128 features read whole, in one pass
// (bench/results/2026-12-10-pack16-intel.md).
inline constexpr int32_t narrowSamples = 65535;
inline constexpr int32_t narrowPackedWidth = 2 * packedWidth;
int32_t packedColumns(int32_t M);
// A thread's packed columns in 32-bit words.
size_t packedWords(int32_t M);

// The versions of the sweep, one per instruction set; the SSE2 one is built
// for x86-64 only, the AVX2 one where cpu.h builds wide versions (cpu::runs,
// cpu::fastest).
inline constexpr cpu::Isa sweepVersions[] = {cpu::Isa::portable, cpu::Isa::sse2, cpu::Isa::avx2};

// How every version sweeps a column: each position's split impurity divided
// out (perPosition), or first a test without division that passes over the
// positions that surely do not beat the best so far (screened). The test
// pays once a column is long enough that improvements are rare; byLength
// takes screened from screenFrom samples on, and perPosition below that or
// where the node's weight is not positive and finite. The results are the
// same bits in every case (docs/performance.md: the cut-over).
enum class ColumnMethod { byLength, perPosition, screened };
inline constexpr int32_t screenFrom = 64;
ColumnMethod columnMethod(ColumnMethod method, int32_t M, bool screenable);

// The team for a node of M samples and N features when the runtime allows
// `most` threads: the results never depend on it, so threads are added only
// where they pay: every thread gets at least teamWorkPerThread sample-features
// (M * N), and a smaller node runs on the calling thread alone. Never more
// than teamLimit threads, nor more than N (a feature is the unit of
// division), nor more than `most`.
inline constexpr int teamLimit = 4;
inline constexpr int64_t teamWorkPerThread = 4096;
int sweepTeam(int32_t M, int32_t N, int most);

// Sweeps every feature on one parallel region of `team` threads, each taking a
// contiguous block of features (the first N mod T threads one more), with
// the scratch made for that team. The results do not depend on the team size
// or the version. Every sortedOrder entry is checked as the sweep reads it: a
// feature stops at its first entry outside 0..M-1, keeping what it found
// before, and its thread sweeps no later feature (so which other features
// were swept then depends on the team). Fails with sampleOutOfRange at the
// first bad entry of the lowest feature that has one.
Fault scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                         SweepScratch &scratch);
// The same with a chosen version, which must run here, and column method.
Fault scanSortedFeaturesWith(cpu::Isa version, ColumnMethod method, const SweepInput &in, const NodeTotals &node,
                             const SplitRows &out, int team, SweepScratch &scratch);

}  // namespace split
