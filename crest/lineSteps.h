// The step loop of every sampler version: for each step, every live line's
// sample position, clamps, neighbour index and fractions; the neighbour pairs;
// the bilinear sample and its comparison with the line's limit; then, when it
// pays, the packing of the lines still alive. Lane for lane these are the
// operations of firstStrongerStep in reference.h, in the same order and
// precision; only the order of the steps differs, which cannot change whether
// some sample is stronger.
//
// A version supplies its lane operations as a struct L:
//   L::width                    lines per register
//   L::Floats, L::Ints          a register of floats, of 32-bit integers
//   all, allInts, load, loadInts, store, storeInts, add, sub, mul,
//   toFloat, truncate           one IEEE operation per lane (truncate: toward 0)
//   clamp(p, threshold, ceiling)  below 0 (or NaN) to +0, above threshold to ceiling
//   linearIndex(a, b, step)     a + step * b, for values that fit 31 bits
//   linearIndexBack(a, b, step) step * b - a, likewise
//   splitPairs(pairs, a, b)     lanes' first and second floats of
//                               consecutive pairs
//   keepWeaker(alive, s, limit) clears the alive mask of lanes with s > limit;
//                               returns how many lanes stay alive
//   pack, clear                 packLines and clearSuppressed, or their equal
//                               (PackedInRegisters<L> below, from the
//                               operations of listingSteps.h and these:)
//   liveLanes(alive)            the lanes whose alive mask is not zero
//   clearDead(thinned, rows, alive, count)  clearUnlessAlive for the first
//                               count lines of a register (all for count >= width)
// An x86 version beyond SSE2 includes this header inside a CPU_AVX2_FUNCTIONS
// (or CPU_AVX512_FUNCTIONS) region of its own file, so that the loops are
// built for that set; hence nothing but templates here.
#pragma once

#include "lineSampler.h"
#include "listingSteps.h"

namespace crest {

// Clears the pixels of the lines no longer alive and, with `pack`, packs the
// others to the front, alive: the lanes are packed in registers, and the
// stores never pass the lanes already read.
template <class L>
inline void clearAndPackOf(LineBatch &batch, StepScratch &step, float *thinned, bool pack) {
    int32_t kept = 0;
    for (int32_t k = 0; k < batch.n; k += L::width) {
        L::clearDead(thinned, batch.rows + k, step.alive + k, batch.n - k);
        if (!pack) continue;
        const typename L::Mask stays = L::both(L::firstLanes(batch.n - k), L::liveLanes(step.alive + k));
        const typename L::Ints rows = L::loadInts(batch.rows + k);
        const typename L::Packing packing = L::packing(stays);
        const typename L::Floats sn = L::load(batch.sn + k), cs = L::load(batch.cs + k);
        const typename L::Floats limit = L::load(batch.limit + k);
        L::storePacked(batch.rows + kept, packing, rows);
        L::storePacked(batch.sn + kept, packing, sn);
        L::storePacked(batch.cs + kept, packing, cs);
        L::storePacked(batch.limit + kept, packing, limit);
        L::storeInts(reinterpret_cast<int32_t *>(step.alive + kept), L::allInts(-1));
        kept += L::count(stays);
    }
    if (pack) batch.n = kept;
}

template <class L>
struct PackedInRegisters {
    static void pack(LineBatch &batch, StepScratch &step, float *thinned) {
        clearAndPackOf<L>(batch, step, thinned, true);
    }
    static void clear(LineBatch &batch, StepScratch &step, float *thinned) {
        clearAndPackOf<L>(batch, step, thinned, false);
    }
};

// The step loop over the pixels listed in memory line `line`: with
// Transposed the map is walked row by row (its lines are rows, their pixels
// adjacent along a row), else column by column; with Reversed a line's
// pixels run down in memory. Either way a sample's coordinates, weights and
// four terms are the same operations: only the addresses differ, and which
// float of a pair holds which neighbour.
template <class L, bool Transposed, bool Reversed>
inline void sampleLinesIn(const SampledMap &map, int32_t line, int32_t radius, LineBatch &batch, float *thinned) {
    using Floats = typename L::Floats;
    using Ints = typename L::Ints;
    StepScratch step;
    for (int32_t k = 0; k < batch.n; ++k) step.alive[k] = ~0u;
    const Floats lineBase = L::all(static_cast<float>(line)), one = L::all(1.0f);
    const Floats columnThreshold = L::all(map.columnLimits.threshold);
    const Floats columnCeiling = L::all(map.columnLimits.ceiling);
    const Floats rowThreshold = L::all(map.rowLimits.threshold);
    const Floats rowCeiling = L::all(map.rowLimits.ceiling);
    const Ints lineStep = L::allInts(map.lineStep);
    // A reversed line's pair of pixels a and a + 1 starts at a + 1, one
    // element below pixel a: index -a from the element below pixel 0. The
    // batch samplers take maps of two pixels or more along, so that element
    // lies in the line.
    const float *pairs = Reversed ? map.edgeMap - 1 : map.edgeMap;
    for (int64_t d = radius > 0 ? -1 : 0; d != 0 && batch.n > 0; d = nextStep(d, radius)) {
        const int32_t n = batch.n;
        // Wider versions run over whole registers of padding lines that are
        // never alive.
        const int32_t lines = L::width == 1 ? n : padLines(batch, step);
        const Floats fd = L::all(static_cast<float>(d));
        for (int32_t k = 0; k < lines; k += L::width) {
            const Floats along = L::toFloat(L::loadInts(batch.rows + k));
            const Floats xf = Transposed ? along : lineBase;
            const Floats yf = Transposed ? lineBase : along;
            const Floats px = L::clamp(L::add(xf, L::mul(L::load(batch.cs + k), fd)), columnThreshold, columnCeiling);
            const Floats py = L::clamp(L::add(yf, L::mul(L::load(batch.sn + k), fd)), rowThreshold, rowCeiling);
            const Ints ix = L::truncate(px);
            const Ints iy = L::truncate(py);
            const Ints a = Transposed ? ix : iy, b = Transposed ? iy : ix;
            const Ints index = Reversed ? L::linearIndexBack(a, b, lineStep) : L::linearIndex(a, b, lineStep);
            L::storeInts(step.index + k, index);
            L::store(step.fx + k, L::sub(px, L::toFloat(ix)));
            L::store(step.fy + k, L::sub(py, L::toFloat(iy)));
        }
        fetchNeighbourPairs(pairs, map.lineStep, lines, step);
        int32_t alive = 0;
        for (int32_t k = 0; k < lines; k += L::width) {
            // A pair is two pixels adjacent along a line: rows iy, iy + 1 of
            // a column, or columns ix, ix + 1 of a row; the pixel at a + 1
            // comes first in memory when the line is reversed.
            Floats left0, left1, right0, right1;
            L::splitPairs(step.left + 2 * k, left0, left1);
            L::splitPairs(step.right + 2 * k, right0, right1);
            const Floats leftNear = Reversed ? left1 : left0, leftFar = Reversed ? left0 : left1;
            const Floats rightNear = Reversed ? right1 : right0, rightFar = Reversed ? right0 : right1;
            const Floats p00 = leftNear, p11 = rightFar;
            const Floats p01 = Transposed ? leftFar : rightNear;
            const Floats p10 = Transposed ? rightNear : leftFar;
            const Floats fx = L::load(step.fx + k), fy = L::load(step.fy + k);
            const Floats gx = L::sub(one, fx);
            const Floats gy = L::sub(one, fy);
            Floats s = L::mul(L::mul(gx, p00), gy);
            s = L::add(s, L::mul(L::mul(fx, p01), gy));
            s = L::add(s, L::mul(L::mul(gx, p10), fy));
            s = L::add(s, L::mul(L::mul(fx, p11), fy));
            alive += L::keepWeaker(step.alive + k, s, L::load(batch.limit + k));
        }
        if (worthPacking(alive, n, d, radius)) L::pack(batch, step, thinned);
    }
    L::clear(batch, step, thinned);
}

template <class L>
inline void sampleLinesOf(const SampledMap &map, int32_t line, int32_t radius, LineBatch &batch, float *thinned) {
    if (map.transposed && map.reversed)
        sampleLinesIn<L, true, true>(map, line, radius, batch, thinned);
    else if (map.transposed)
        sampleLinesIn<L, true, false>(map, line, radius, batch, thinned);
    else if (map.reversed)
        sampleLinesIn<L, false, true>(map, line, radius, batch, thinned);
    else
        sampleLinesIn<L, false, false>(map, line, radius, batch, thinned);
}

}  // namespace crest
