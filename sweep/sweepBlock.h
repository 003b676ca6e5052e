// The fast sweep, shared by every version: the operations of referenceSweep
// (reference.h) in the same order, with both sides of the split carried
// side by side, a pair of lanes (right, left).
//
// Each position's split impurity is worked out as soon as its sums are: its
// divisions hang off the running sums, not on them, so the processor runs
// them beside the next positions' moves, and nothing waits on memory just
// written. Both sides share one two-lane division where the plain loop
// divides for each.
//
// In a long column the divider would still set the pace, so there the
// positions first get a test without division (Sides::mayBeat) that proves,
// for nearly every position, that its impurity cannot beat the best so far;
// only the others are divided out. A short column improves at many of its
// positions, and there the test only adds work: it is the divided sweep
// alone (ColumnMethod, screenFrom in sweep.h).
//
// A version supplies Sides (see sweepColumn) and nothing else.
#pragma once

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/cpu.h"
#include "gini/gini.h"
#include "sweep.h"

// Marks the branch a long column takes at nearly every pair, so that the
// compiler lays out the screened loop around it (3-4% on long columns).
#if defined(__GNUC__)
#define SWEEP_LIKELY(condition) __builtin_expect(static_cast<bool>(condition), 1)
#else
#define SWEEP_LIKELY(condition) (condition)
#endif

namespace split {

// A class table holds classSlot::count doubles per class, right side first:
// the right and left masses, then the right and left classTerm of those
// masses, kept current so that a retracted term is never recomputed, then
// the class weight twice. Each pair is read and written as one (right, left)
// pair of lanes; a move finds all of them at one address, the sample's
// record's `entry`.
namespace classSlot {
enum : int32_t { rightMass, leftMass, rightTerm, leftTerm, weight, weightAgain, count };
}
static_assert(classSlot::leftMass == classSlot::rightMass + 1 && classSlot::leftTerm == classSlot::rightTerm + 1,
              "each side pair is two neighbouring doubles, right first");

// A feature's sweep returns where it stopped at a bad sortedOrder entry, or this.
inline constexpr int64_t noBadEntry = -1;

// From this many samples on (512 KiB of packed samples, half the
// second-level cache) a sweep fetches the sample it moves `fetchAhead`
// positions early: in a shuffled column each one is elsewhere in memory.
// Below that the fetches cost more than they save
// (docs/performance.md). The SSE2 version starts at sse2PrefetchFrom.
inline constexpr int32_t prefetchFrom = 32768;
// 128 KiB of packed samples: the SSE2 version's loops, longer than the AVX2
// ones, keep fewer moves in flight past a sample read from the second-level
// cache, so the fetches pay from here on, most in columns divided out per
// position (bench/results/2026-12-10-sse2-sweep-intel.md).
inline constexpr int32_t sse2PrefetchFrom = 8192;
inline constexpr int32_t fetchAhead = 16;

// The test without division. With W_L, W_R and W positive and every value
// finite, the split impurity I as evaluated (splitGini) lies within
// 5u (W_L + |S_L| / W_L + W_R + |S_R| / W_R) / W of its exact value (u =
// 2^-53, each of its seven operations rounding once). Multiplied through by
// W W_L W_R > 0, I >= best is certain when
//   d = W_L W_R (W_L + W_R - best W) - (S_L W_R + S_R W_L)
// exceeds 5u times
//   magnitude = W_L W_R (W_L + W_R + |best W|) + |S_L| W_R + |S_R| W_L,
// and d as evaluated lies within 8u magnitude of its exact value. The call
// bounds magnitude once (ScreenBound): with a = the sum of |w| over the
// samples, no running weight or class mass exceeds bW = 2.01 a in size and
// no running square sum bS = 2.02 (max |c|)^2 bW^2, the factors covering
// the rounding of up to 2^31 steps; so magnitude <= bW^2 (2 bW + |best W|)
// + 2 bS bW. The test asks for d > screenMargin times that bound, far
// above the 13u needed. At a tie the bound is 40 times the magnitude or
// more, so no reachable position needs over about 2^-57.6 of it; the
// closest tie found needs 2^-58.2, and the sweep tests fail for a margin
// below that. A positive W_L or W_R is a sum of single-precision
// weights, a multiple of 2^-149, so the bound is at least 2^-446 and no
// underflow matters. Where a value is not finite, d is infinite or not a
// number and the strict comparison fails: the position is divided out.
//
// The test also asks for W_L > 0 and W_R > 0, the premise above. Where a
// side weighs nothing or less it turns no position away that the rest
// would pass: for sums without rounding d is then
//   -|W_R v - W_L u|^2 / W + W W_L W_R (G0 - best) <= 0,
// u and v the right and left class masses times their class weights, and
// only the running sums' drift, which the bound does not follow, could lift
// it above the threshold. Asking costs one comparison per pair.
//
// Where every weight is positive and the smallest exceeds 2^-50 M a, the
// premise holds at every position the test sees, and the sweep drops the
// question (ScreenBound::sidesPositive): W_L is a sum of positive values,
// never below its first, and W_R, exactly at least the smallest weight while
// a sample remains on the right, is off by at most about 3u M a (W's own sum
// and the moves' rounding, each under u bW).
inline constexpr double screenMargin = 0x1p-44;

// The call's bound on magnitude, base + perBest |best W|.
struct ScreenBound {
    double base;
    double perBest;
    bool sidesPositive;  // W_L > 0 and W_R > 0 wherever the test runs
    // The bound for M samples whose |w| sum to `weightSize`, the smallest w
    // `leastWeight`, and class weights up to `classWeightSize` in size.
    static ScreenBound of(int32_t M, double weightSize, double leastWeight, double classWeightSize) {
        const double bW = 2.01 * weightSize;
        const double bS = 2.02 * (classWeightSize * classWeightSize) * (bW * bW);
        ScreenBound b;
        b.base = bW * bW * (2.0 * bW) + 2.0 * bS * bW;
        b.perBest = bW * bW;
        // Not a number anywhere fails the comparison.
        b.sidesPositive = leastWeight > 0x1p-50 * static_cast<double>(M) * weightSize;
        return b;
    }
    bool finite() const { return std::isfinite(base) && std::isfinite(perBest); }
    // What d must exceed.
    double threshold(double bestTimesW) const { return screenMargin * (base + perBest * std::fabs(bestTimesW)); }
};

// What every feature of a call shares.
struct SweepContext {
    const float *X;
    const uint32_t *sortedOrder;
    const double *classWeights;
    const SampleRecord *records;
    const double *startTable;  // every sample on the right
    NodeTotals node;
    ScreenBound screen;
    int32_t M;
    int32_t K;
    Steps xSteps;
    Steps orderSteps;
    // This thread's packed columns, in 16-bit entries where M fits them
    // (narrowPacked) or else 32-bit ones; both null where sortedOrder's
    // columns are contiguous.
    uint32_t *packed;
    uint16_t *narrowPacked;
    int32_t packWidth;
};

// The threshold between the two values that meet at a split, in single
// precision. Two finite values whose sum overflows are halved before adding,
// so that the threshold still lies between them instead of at infinity.
inline float midpoint(float next, float moving) {
    const float m = (next + moving) * 0.5f;
    if (std::isinf(m) && std::isfinite(next) && std::isfinite(moving)) return next * 0.5f + moving * 0.5f;
    return m;
}

// Copies class k's entry of the start table, in the pieces that the moves
// read back: a read of parts of several pending writes would wait for them
// to reach the cache, and in a short column the first moves come right after.
inline void resetEntry(double *table, const double *startTable, size_t entry) {
    std::memcpy(table + entry, startTable + entry, classSlot::count * sizeof(double));
}

// Sides(W, S) starts with every sample on the right; move(w, entry) moves
// a sample of weight w, its class weight c in `entry`, to the left as
// referenceSweep does (W_R - w and W_L + w; S less the class's old term, the class's masses
// updated in `entry`, S plus the new term); splitGini(W) is the split
// impurity (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W;
// Sides::mayBeat(at, bestTimesW, threshold) applies the test without
// division above to the sides of Sides::screenGroup positions (d >
// threshold, W_L > 0, W_R > 0) and returns a bit (bit g for at[g]) for each
// position that it cannot prove no better than best.

// Every entry of the start table.
inline void resetTable(double *table, const SweepContext &ctx) {
    for (int32_t k = 0; k < ctx.K; ++k) resetEntry(table, ctx.startTable, classSlot::count * static_cast<size_t>(k));
}

// What a column's moves read, copied out of the context so that they stay
// in registers across the stores to the class table. `Entry` is the type of
// the column's sortedOrder entries: uint32_t, or uint16_t where packed.
template <class Entry>
struct ColumnInputs {
    const Entry *order;
    const SampleRecord *records;
    uint32_t samples;
};

// A column's sweep so far: the sides after the last move, the next sample to
// move, and the best split found. Where every sample weighs something
// (`allWeighted`), the right side keeps a weighted sample up to the last
// position, so the count of them is not kept.
template <class Sides, bool allWeighted>
struct ColumnState {
    Sides sides;
    uint32_t next;  // the sample at the first position not moved
    int32_t rightWeighted;
    double *table;
    double W, best;
    int32_t bestPosition;
    ColumnState(const SweepContext &ctx, uint32_t first, double *classTable)
        : sides(ctx.node.W, ctx.node.S), next(first), rightWeighted(ctx.node.weightedSamples), table(classTable),
          W(ctx.node.W), best(ctx.node.G0), bestPosition(-1) {}

    // Moves the sample at position s (`next`) to the left; `following` is
    // the sample at s + 1.
    template <bool prefetch, class Entry>
    CPU_INLINE void move(const ColumnInputs<Entry> &in, int32_t s, uint32_t following) {
        if constexpr (prefetch) {
            const uint32_t ahead = in.order[static_cast<uint32_t>(s) + fetchAhead < in.samples ? s + fetchAhead : s];
            cpu::prefetch(in.records + (ahead < in.samples ? ahead : 0u));
        }
        const SampleRecord &r = in.records[next];
        if constexpr (!allWeighted) rightWeighted -= r.weight != 0.0;
        sides.move(r.weight, table + r.entry);
        next = following;
    }

    // Strict: the earliest position wins a tie, G0 itself is never recorded
    // and a NaN never wins. Once only weightless samples remain on the
    // right, its running sums hold rounding residue, not an impurity: no
    // such position counts.
    CPU_INLINE void consider(const Sides &at, int32_t s, int32_t rightWeightedAt) {
        const double I = at.splitGini(W);
        if (I < best && (allWeighted || rightWeightedAt > 0)) {
            best = I;
            bestPosition = s;
        }
    }
};

// The one loop that moves samples: positions from ... to - 1, each handed
// after its move to `visit`, which returns the next position to move (a
// stretch it moved on its own skipped). Returns the first position not
// moved: `to`, or the one whose next entry is bad, where a stretch stopped
// too.
template <bool prefetch, class Sides, bool allWeighted, class Entry, class Visit>
CPU_INLINE int32_t movePositions(const ColumnInputs<Entry> &in, int32_t from, int32_t to,
                                 ColumnState<Sides, allWeighted> &state, Visit &&visit) {
    int32_t s = from;
    while (s < to) {
        const uint32_t following = in.order[s + 1];
        if (following >= in.samples) break;
        state.template move<prefetch>(in, s, following);
        s = visit(s);
    }
    return s;
}

// Positions from ... to - 1 moved and divided out one at a time: a short
// column's sweep, and the stretches and the end of a screened one.
template <bool prefetch, class Sides, bool allWeighted, class Entry>
CPU_INLINE int32_t dividedPositions(const ColumnInputs<Entry> &in, int32_t from, int32_t to,
                                    ColumnState<Sides, allWeighted> &state) {
    return movePositions<prefetch>(in, from, to, state, [&state](int32_t s) {
        state.consider(state.sides, s, state.rightWeighted);
        return s + 1;
    });
}

// Where the test without division keeps failing (runs of improvements, a
// pure node's ties), a screened column divides out the next directStretch
// positions once openLimit positions in a row went in groups that had one
// open, so that it costs little more than a column divided out throughout.
inline constexpr int32_t openLimit = 8;
inline constexpr int32_t directStretch = 64;

// Every position of a column of M samples, Sides::screenGroup at a time
// through the test without division: each group is tested after its last
// move, and only the positions it cannot settle are divided out. Returns the
// first position not moved: where the groups end, with fewer than a
// group's positions left or a bad entry among the next group's, for
// dividedPositions.
template <bool prefetch, bool checkSides, class Sides, bool allWeighted, class Entry>
CPU_INLINE int32_t screenedPositions(const ColumnInputs<Entry> &in, int32_t M, const ScreenBound &screen,
                                     ColumnState<Sides, allWeighted> &state) {
    constexpr int32_t group = Sides::screenGroup;
    static_assert(openLimit % group == 0, "whole groups to the stretch");
    // The best so far times W and the threshold for it, renewed after the
    // positions that were divided out.
    double bestTimesW = state.best * state.W;
    double threshold = screen.threshold(bestTimesW);
    int32_t openGroups = 0;
    int32_t s = 0;
    while (s + group < M) {
        // A group with a bad entry is left to dividedPositions, which moves
        // up to it.
        uint32_t following[group];
        bool bad = false;
        for (int32_t g = 0; g < group; ++g) {
            following[g] = in.order[s + g + 1];
            bad = bad || following[g] >= in.samples;
        }
        if (bad) break;
        Sides at[group];
        int32_t rightWeightedAt[group];
        for (int32_t g = 0; g < group; ++g) {
            state.template move<prefetch>(in, s + g, following[g]);
            at[g] = state.sides;
            rightWeightedAt[g] = state.rightWeighted;
        }
        // A best that has fallen since the test only makes it surer.
        const unsigned open = Sides::template mayBeat<checkSides>(at, bestTimesW, threshold);
        if (SWEEP_LIKELY(open == 0)) {
            openGroups = 0;
            s += group;
            continue;
        }
        for (int32_t g = 0; g < group; ++g)
            if (open >> g & 1u) state.consider(at[g], s + g, rightWeightedAt[g]);
        s += group;
        // A stretch stopped by a bad entry leaves s there, and the next group
        // stops before it.
        if (++openGroups == openLimit / group) {
            openGroups = 0;
            s = dividedPositions<prefetch>(in, s, M - 1 - s > directStretch ? s + directStretch : M - 1, state);
        }
        bestTimesW = state.best * state.W;
        threshold = screen.threshold(bestTimesW);
    }
    return s;
}

// `table` holds the start table on entry and again on return: only the
// entries of the classes that moved are put back, so that a short column
// costs no pass over the classes. `screened` columns need a node weight W
// that is positive and finite and a finite ScreenBound.
// `order` is feature j's column of sortedOrder, contiguous. Without
// `checkSides` the screened test takes both sides' weights as positive
// (ScreenBound::sidesPositive).
template <class Sides, bool prefetch, bool screened, bool allWeighted, bool checkSides, class Entry>
inline int64_t sweepColumn(const SweepContext &ctx, int32_t j, const Entry *order, double *table,
                           const SplitRows &out) {
    const int32_t M = ctx.M;
    assert(M >= 1);
    const int64_t column = static_cast<int64_t>(j) * M;  // the fault's index, whatever the layout
    const ColumnInputs<Entry> inputs{order, ctx.records, static_cast<uint32_t>(M)};
    if (order[0] >= inputs.samples) return column;  // checked also where M = 1 and nothing moves
    assert(!screened || (ctx.node.W > 0.0 && std::isfinite(ctx.node.W) && ctx.screen.finite()));

    ColumnState<Sides, allWeighted> state(ctx, order[0], table);
    // The last sample never moves: every sample on the left is no split.
    int32_t s = 0;
    if constexpr (screened) s = screenedPositions<prefetch, checkSides>(inputs, M, ctx.screen, state);
    s = dividedPositions<prefetch>(inputs, s, M - 1, state);
    const int64_t badEntry = s < M - 1 ? column + s + 1 : noBadEntry;

    // The last improvement is the one the outputs keep.
    if (state.bestPosition >= 0) {
        out.impurity[j] = state.best;
        out.gain[j] = ctx.node.G0 - state.best;
        const float *x = ctx.X + static_cast<ptrdiff_t>(j) * ctx.xSteps.column;
        const ptrdiff_t step = ctx.xSteps.row;
        const int32_t p = state.bestPosition;
        out.threshold[j] = static_cast<double>(midpoint(x[order[p + 1] * step], x[order[p] * step]));
    }

    // Samples 0 ... s - 1 of the column moved.
    if (s < ctx.K) {
        for (int32_t p = 0; p < s; ++p) resetEntry(table, ctx.startTable, ctx.records[order[p]].entry);
    } else {
        resetTable(table, ctx);
    }
    return badEntry;
}

// Columns first ... last - 1 of sortedOrder into ctx.packed or
// ctx.narrowPacked, one after another (sweep.cpp: the same for every
// version).
void packColumns(const SweepContext &ctx, int64_t first, int64_t last);

// Features begin ... end - 1 packed ctx.packWidth columns at a time into
// `packed`, each block swept while it is in the second-level cache.
template <class Sides, bool prefetch, bool screened, bool allWeighted, bool checkSides, class Entry>
inline int64_t sweepPacked(const SweepContext &ctx, const Entry *packed, int64_t begin, int64_t end, double *table,
                           const SplitRows &out) {
    const size_t M = static_cast<size_t>(ctx.M);
    for (int64_t first = begin; first < end; first += ctx.packWidth) {
        const int64_t last = end - first > ctx.packWidth ? first + ctx.packWidth : end;
        packColumns(ctx, first, last);
        for (int64_t j = first; j < last; ++j) {
            const Entry *order = packed + static_cast<size_t>(j - first) * M;
            const int64_t bad = sweepColumn<Sides, prefetch, screened, allWeighted, checkSides>(
                ctx, static_cast<int32_t>(j), order, table, out);
            if (bad != noBadEntry) return bad;
        }
    }
    return noBadEntry;
}

// Sweeps features begin ... end - 1 with one class table and stops at the
// first bad entry, which it returns (else noBadEntry), as referenceSweep does.
template <class Sides, bool prefetch, bool screened, bool allWeighted, bool checkSides = true>
inline int64_t sweepFeatures(const SweepContext &ctx, int64_t begin, int64_t end, double *table,
                             const SplitRows &out) {
    resetTable(table, ctx);
    if (ctx.narrowPacked)
        return sweepPacked<Sides, prefetch, screened, allWeighted, checkSides>(ctx, ctx.narrowPacked, begin, end,
                                                                               table, out);
    if (ctx.packed)
        return sweepPacked<Sides, prefetch, screened, allWeighted, checkSides>(ctx, ctx.packed, begin, end, table,
                                                                               out);
    for (int64_t j = begin; j < end; ++j) {
        const uint32_t *order = ctx.sortedOrder + j * ctx.orderSteps.column;
        const int64_t bad = sweepColumn<Sides, prefetch, screened, allWeighted, checkSides>(
            ctx, static_cast<int32_t>(j), order, table, out);
        if (bad != noBadEntry) return bad;
    }
    return noBadEntry;
}

// A version's sweep of a block of features, its column method already
// decided (perPosition or screened). Only long columns gain from dropping
// the count of weighted samples: the short ones' divisions hide it, and
// from the test the question whether both sides weigh anything. Columns of
// `fetchFrom` samples or more fetch ahead.
template <class Sides, int32_t fetchFrom = prefetchFrom>
inline int64_t sweepFeaturesWith(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end,
                                 double *table, const SplitRows &out) {
    assert(method != ColumnMethod::byLength);
    const bool fetch = ctx.M >= fetchFrom;
    if (method == ColumnMethod::screened) {
        if (ctx.screen.sidesPositive && ctx.node.weightedSamples == ctx.M)
            return fetch ? sweepFeatures<Sides, true, true, true, false>(ctx, begin, end, table, out)
                         : sweepFeatures<Sides, false, true, true, false>(ctx, begin, end, table, out);
        if (ctx.node.weightedSamples == ctx.M)
            return fetch ? sweepFeatures<Sides, true, true, true>(ctx, begin, end, table, out)
                         : sweepFeatures<Sides, false, true, true>(ctx, begin, end, table, out);
        return fetch ? sweepFeatures<Sides, true, true, false>(ctx, begin, end, table, out)
                     : sweepFeatures<Sides, false, true, false>(ctx, begin, end, table, out);
    }
    return fetch ? sweepFeatures<Sides, true, false, false>(ctx, begin, end, table, out)
                 : sweepFeatures<Sides, false, false, false>(ctx, begin, end, table, out);
}

using FeatureSweep = int64_t (*)(const SweepContext &, ColumnMethod method, int64_t begin, int64_t end,
                                 double *table, const SplitRows &out);

#ifdef CPU_X86_64
int64_t sweepFeaturesSse2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end, double *table,
                          const SplitRows &out);
#endif
#ifdef CPU_WIDE_SIMD
int64_t sweepFeaturesAvx2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end, double *table,
                          const SplitRows &out);
#endif

}  // namespace split
