// The fast sweep of one feature, shared by every version: the operations of
// referenceSweep (sweepReference.h) in the same order, with the split
// impurities of several positions evaluated at once. The running sums
// are carried one sample at a time in the reference order and kept per
// position in a small ring; the split impurities of a group of positions are
// then worked out together, a position per lane, and the first strict
// improvements taken in position order.
//
// A group is evaluated a few groups after its sums were written, so that the
// divisions of earlier positions run while the sums of later ones are
// carried: the two meet only at the rare improvements.
//
// A version supplies Kernel::Sums, which carries the sums sample by sample,
// and Kernel::group, which evaluates a group; see sweepFeatureWith.
#pragma once

#include <cstdint>
#include <cstring>

#include "gateway/cpu.h"
#include "gini.h"
#include "sweep.h"
#include "sweepReference.h"

namespace split {

// Positions held: room for every version's group times (lag + 1).
inline constexpr int32_t ringPositions = 32;

// The running sums after the move at each position, at position mod
// ringPositions, right side first: W[2p] = W_R, W[2p + 1] = W_L, and the same
// for S. I holds the split impurities worked out from them.
struct PositionRing {
    alignas(64) double W[2 * ringPositions];
    alignas(64) double S[2 * ringPositions];
    alignas(64) double I[ringPositions];
};

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

// A feature's sweep returns where it stopped at a bad sortedOrder entry, or this.
inline constexpr int64_t noBadEntry = -1;

// One move in the order of referenceSweep, both sides side by side: W_R - w
// and W_L + w; S less the class's old term, the class's masses updated, S
// plus the new term (kept in the table, so the old term is not recomputed).
struct ScalarSums {
    double WR, WL, SR, SL;
    ScalarSums(double W, double S) : WR(W), WL(0.0), SR(S), SL(0.0) {}
    void move(const SampleRecord &r, const double *classWeights, double *table, PositionRing &ring, int32_t slot) {
        const double w = r.weight, c = classWeights[r.classIndex];
        double *entry = table + classEntry * r.classIndex;
        WR = WR - w;
        WL = WL + w;
        SR = SR - entry[2];
        SL = SL - entry[3];
        const double mR = entry[0] - w;
        const double mL = entry[1] + w;
        entry[0] = mR;
        entry[1] = mL;
        entry[2] = classTerm(mR, c);
        entry[3] = classTerm(mL, c);
        SR = SR + entry[2];
        SL = SL + entry[3];
        ring.W[2 * slot] = WR;
        ring.W[2 * slot + 1] = WL;
        ring.S[2 * slot] = SR;
        ring.S[2 * slot + 1] = SL;
    }
};

// Kernel::width positions form a group (a power of two dividing
// ringPositions); Kernel::lag groups lie between writing a group and
// evaluating it. Kernel::group(ring, slot, W, best) fills ring.I at slots
// slot ... slot + width - 1 with splitGini of each position's sums and
// returns a mask with bit l set where that impurity is below best.
template <class Kernel>
inline int64_t sweepFeatureWith(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out) {
    constexpr int32_t width = Kernel::width;
    constexpr int32_t lag = Kernel::lag;
    static_assert(ringPositions % width == 0 && (lag + 1) * width <= ringPositions, "ring too small");

    const int32_t M = ctx.M;  // at least 1
    const int64_t column = static_cast<int64_t>(j) * M;
    const uint32_t *order = ctx.sortedOrder + column;
    const uint32_t samples = static_cast<uint32_t>(M);
    // The last sample never moves: every sample on the left is no split.
    // With one sample nothing moves, yet its entry is checked.
    if (M < 2) return order[0] < samples ? noBadEntry : column;
    const double W = ctx.node.W;
    const SampleRecord *records = ctx.records;
    const double *classWeights = ctx.classWeights;
    const size_t K = static_cast<size_t>(ctx.K);
    std::memcpy(table, ctx.startTable, K * classEntry * sizeof(double));

    typename Kernel::Sums sums(W, ctx.node.S);
    int32_t rightWeighted = ctx.node.weightedSamples;
    // Positions whose right side still holds weight. Once only weightless
    // samples remain on the right, its running sums hold rounding residue,
    // not an impurity; the count of weighted samples there only falls, so
    // these are the first positions.
    int32_t weighted = 0;
    double best = ctx.node.G0;
    int32_t bestPosition = -1;
    // Not cleared: every slot a group reads is written first (see below).
    PositionRing ring;

    // Strict, in position order: the earliest position wins a tie, G0 itself
    // is never recorded and a NaN never wins.
    int32_t evaluated = 0;  // the next group to evaluate starts here
    auto evaluateGroup = [&] {
        const int32_t first = evaluated;
        evaluated += width;
        if (first >= weighted) return;
        const int32_t slot = first & (ringPositions - 1);
        uint32_t lower = Kernel::group(ring, slot, W, best);
        if (weighted - first < width) lower &= (1u << (weighted - first)) - 1u;
        for (; lower != 0; lower &= lower - 1) {
            const int32_t l = cpu::countTrailingZeros(lower);
            if (ring.I[slot + l] < best) {
                best = ring.I[slot + l];
                bestPosition = first + l;
            }
        }
    };

    int64_t badEntry = noBadEntry;
    uint32_t i = order[0];
    if (i >= samples) return column;
    const int32_t positions = M - 1;
    int32_t s = 0;
    while (s < positions) {
        const int32_t start = s;
        const int32_t end = positions - s < width ? positions : s + width;
        for (; s < end; ++s) {
            const uint32_t n = order[s + 1];
            if (n >= samples) {
                badEntry = column + s + 1;
                break;
            }
            const SampleRecord &r = records[i];
            rightWeighted -= r.weighted;
            sums.move(r, classWeights, table, ring, s & (ringPositions - 1));
            i = n;
        }
        if (rightWeighted > 0) {
            weighted = s;
        } else {
            // Back from the group's end to the last position whose right side
            // still held a weighted sample.
            int32_t right = rightWeighted;
            int32_t p = s;
            while (p > start && right <= 0) {
                --p;
                right += records[order[p]].weighted;
            }
            if (right > 0) weighted = p;
        }
        if (badEntry != noBadEntry) break;
        // The group `lag` groups before the one just written is due.
        if (s - evaluated >= (lag + 1) * width) evaluateGroup();
    }
    // The groups still due, up to the last position written. The last one may
    // reach past it: those lanes read zeros, and their results are masked off.
    for (int32_t p = s; p % width != 0; ++p) {
        const int32_t slot = p & (ringPositions - 1);
        ring.W[2 * slot] = ring.W[2 * slot + 1] = ring.S[2 * slot] = ring.S[2 * slot + 1] = 0.0;
    }
    while (evaluated < s) evaluateGroup();

    // The last improvement is the one the outputs keep.
    if (bestPosition >= 0) {
        const float *x = ctx.X + column;
        out.impurity[j] = best;
        out.gain[j] = ctx.node.G0 - best;
        out.threshold[j] = static_cast<double>(midpoint(x[order[bestPosition + 1]], x[order[bestPosition]]));
    }
    return badEntry;
}

using FeatureSweep = int64_t (*)(const SweepContext &, int32_t j, double *table, const SplitRows &out);

#ifdef CPU_WIDE_SIMD
int64_t sweepFeatureAvx2(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out);
int64_t sweepFeatureAvx512(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out);
#endif

}  // namespace split
