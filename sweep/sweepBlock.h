// The fast sweep, shared by every version: the operations of referenceSweep
// (reference.h) in the same order, with both sides of the split carried
// side by side, a pair of lanes (right, left).
//
// Each position's split impurity is worked out as soon as its sums are: its
// divisions hang off the running sums, not on them, so the processor runs
// them beside the next positions' moves, and nothing waits on memory just
// written. The divider sets the pace: both sides share one two-lane
// division where the plain loop divides for each. Wider vectors do not
// help: the divider takes longer for them in proportion to their lanes.
//
// A version supplies Sides (see sweepColumn) and nothing else.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/cpu.h"
#include "gini/gini.h"
#include "sweep.h"

namespace split {

// A class table holds four doubles per class, right side first: the right
// and left masses, then the right and left classTerm of those masses, kept
// current so that a retracted term is never recomputed.
inline constexpr int32_t classEntry = 4;

// What every feature of a call shares.
struct SweepContext {
    const float *X;
    const uint32_t *sortedOrder;
    const double *classWeights;
    const SampleRecord *records;
    const double *startTable;  // every sample on the right
    NodeTotals node;
    int32_t M;
    int32_t K;
};

// The threshold between the two values that meet at a split, in single
// precision. Two finite values whose sum overflows are halved before adding,
// so that the threshold still lies between them instead of at infinity.
inline float midpoint(float next, float moving) {
    const float m = (next + moving) * 0.5f;
    if (std::isinf(m) && std::isfinite(next) && std::isfinite(moving)) return next * 0.5f + moving * 0.5f;
    return m;
}

// A feature's sweep returns where it stopped at a bad sortedOrder entry, or this.
inline constexpr int64_t noBadEntry = -1;

// From this many samples on (packed samples beyond 128 KiB, past the
// first-level cache) a sweep fetches the sample it moves `fetchAhead`
// positions early: in a shuffled column each one is elsewhere in memory.
inline constexpr int32_t prefetchFrom = 8192;
inline constexpr int32_t fetchAhead = 16;

// Copies class k's entry of the start table, in the pieces that the moves
// read back: a read of parts of several pending writes would wait for them
// to reach the cache, and in a short column the first moves come right after.
inline void resetEntry(double *table, const double *startTable, uint32_t k) {
    std::memcpy(table + classEntry * k, startTable + classEntry * k, classEntry * sizeof(double));
}

// Sides(W, S) starts with every sample on the right; move(w, c, entry) moves
// a sample of weight w and class weight c to the left as referenceSweep does
// (W_R - w and W_L + w; S less the class's old term, the class's masses
// updated in `entry`, S plus the new term); splitGini(W) is the split
// impurity (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W.
//
// `table` holds the start table on entry and again on return: only the
// entries of the classes that moved are put back, so that a short column
// costs no pass over the classes.
template <class Sides, bool prefetch>
inline int64_t sweepColumn(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out) {
    const int32_t M = ctx.M;  // at least 1
    const int64_t column = static_cast<int64_t>(j) * M;
    const uint32_t *order = ctx.sortedOrder + column;
    const uint32_t samples = static_cast<uint32_t>(M);
    uint32_t i = order[0];  // checked also where M = 1 and nothing moves
    if (i >= samples) return column;
    const SampleRecord *records = ctx.records;
    const double *classWeights = ctx.classWeights;
    const double W = ctx.node.W;

    Sides sides(W, ctx.node.S);
    int32_t rightWeighted = ctx.node.weightedSamples;
    double best = ctx.node.G0;
    int32_t bestPosition = -1;
    int64_t badEntry = noBadEntry;
    // The last sample never moves: every sample on the left is no split.
    int32_t s = 0;
    for (; s + 1 < M; ++s) {
        const uint32_t n = order[s + 1];
        if (n >= samples) {
            badEntry = column + s + 1;
            break;
        }
        if constexpr (prefetch) {
            if (s + fetchAhead < M && order[s + fetchAhead] < samples) cpu::prefetch(records + order[s + fetchAhead]);
        }
        const SampleRecord &r = records[i];
        rightWeighted -= r.weighted;
        sides.move(r.weight, classWeights[r.classIndex], table + classEntry * r.classIndex);
        // Strict: the earliest position wins a tie, G0 itself is never
        // recorded and a NaN never wins. Once only weightless samples remain
        // on the right, its running sums hold rounding residue, not an
        // impurity: no such position counts.
        const double I = sides.splitGini(W);
        if (I < best && rightWeighted > 0) {
            best = I;
            bestPosition = s;
        }
        i = n;
    }

    // The last improvement is the one the outputs keep.
    if (bestPosition >= 0) {
        const float *x = ctx.X + column;
        out.impurity[j] = best;
        out.gain[j] = ctx.node.G0 - best;
        out.threshold[j] = static_cast<double>(midpoint(x[order[bestPosition + 1]], x[order[bestPosition]]));
    }

    // Samples 0 ... s - 1 of the column moved.
    if (s < ctx.K) {
        for (int32_t p = 0; p < s; ++p) resetEntry(table, ctx.startTable, records[order[p]].classIndex);
    } else {
        for (int32_t k = 0; k < ctx.K; ++k) resetEntry(table, ctx.startTable, k);
    }
    return badEntry;
}

// Sweeps features begin ... end - 1 with one class table and stops at the
// first bad entry, which it returns (else noBadEntry), as referenceSweep does.
template <class Sides, bool prefetch>
inline int64_t sweepFeatures(const SweepContext &ctx, int64_t begin, int64_t end, double *table,
                             const SplitRows &out) {
    for (int32_t k = 0; k < ctx.K; ++k) resetEntry(table, ctx.startTable, k);
    for (int64_t j = begin; j < end; ++j) {
        const int64_t bad = sweepColumn<Sides, prefetch>(ctx, static_cast<int32_t>(j), table, out);
        if (bad != noBadEntry) return bad;
    }
    return noBadEntry;
}

template <class Sides>
inline int64_t sweepFeaturesWith(const SweepContext &ctx, int64_t begin, int64_t end, double *table,
                                 const SplitRows &out) {
    if (ctx.M >= prefetchFrom) return sweepFeatures<Sides, true>(ctx, begin, end, table, out);
    return sweepFeatures<Sides, false>(ctx, begin, end, table, out);
}

using FeatureSweep = int64_t (*)(const SweepContext &, int64_t begin, int64_t end, double *table,
                                 const SplitRows &out);

#ifdef CPU_X86_64
int64_t sweepFeaturesSse2(const SweepContext &ctx, int64_t begin, int64_t end, double *table, const SplitRows &out);
#endif

}  // namespace split
