// The listing of candidates for the wider versions: a group of rows at a
// time, a register after another, copied into the thinned column; the
// non-zero ones fetch their orientation, and the candidates among them (angle finite, limit not NaN)
// are packed into the batch in registers. The same candidates, in the same
// order and with the same values, as listCandidatesScalar.
//
// Beyond the operations of lineSteps.h, a version supplies:
//   L::Mask                     a set of lanes
//   L::Packing                  what packing a mask's lanes to the front takes
//   laneIndex()                 0, 1, ..., width - 1
//   reversed(v)                 v's lanes last first
//   firstLanes(count)           the first `count` lanes (all for count >= width)
//   loadFirst, storeFirst(p, [v,] count)  the first count < width lanes; the
//                               load gives +0 in the others
//   loadWhere(m, p, inside)     the lanes of m (and perhaps others of the
//                               first `inside`); no other element is read
//   nonZero(v), finite(v), ordered(v)  v != 0 (NaN too), |v| < infinity, v == v
//   both(a, b), either(a, b), none(m), count(m)
//   bitsOf(v), addInts, subInts, andInts  the float's bits; lane-wise integers
//   keepWhereNonZero(v, q)      v where q is not 0, else 0
//   packing(m), storePacked(p, packing, v)  stores m's lanes of v to the front
//                               of p; all width entries of p are written
// The file is included inside an instruction-set region (see lineSteps.h).
#pragma once

#include "lineSampler.h"

namespace crest {

// Lanes p[0], p[-1], ... of the first `inside` lanes (all for inside >= width),
// +0 in the others; nothing else is read. A line's end is short, so its
// lanes are gathered one by one.
template <class L>
inline typename L::Floats loadBackward(const float *p, int64_t inside) {
    if (inside >= L::width) return L::reversed(L::load(p - (L::width - 1)));
    alignas(64) float lanes[L::width] = {};
    for (int64_t k = 0; k < inside; ++k) lanes[k] = p[-k];
    return L::load(lanes);
}

// The candidates among one register of rows from `at` on (`inside` of them,
// at most width, lie in the column), whose edge values are v, stored from
// entry `kept` on; returns how many there are. `orientation` points at row
// at's, the next rows' following it, or preceding it with Backward.
template <class L, bool Backward>
inline int32_t listRegister(typename L::Floats v, typename L::Mask nonZero, const float *orientation, int64_t at,
                            int32_t inside, float multiplier, Candidates &c, int32_t kept) {
    using Floats = typename L::Floats;
    using Ints = typename L::Ints;
    const Floats theta =
        Backward ? loadBackward<L>(orientation, inside) : L::loadWhere(nonZero, orientation, inside);
    const Floats limit = L::mul(v, L::all(multiplier));
    const typename L::Mask valid = L::both(L::both(nonZero, L::finite(theta)), L::ordered(limit));
    // quadrantGroup, lane by lane.
    const Floats shifted = L::add(L::mul(theta, L::all(quarterTurnsPerRadian)), L::all(roundingShift));
    const Ints quadrant = L::subInts(L::bitsOf(shifted), L::allInts(static_cast<int32_t>(roundingShiftBits)));
    const Ints quarter = L::andInts(quadrant, L::allInts(static_cast<int32_t>(quadrantMask)));
    const Ints group = L::keepWhereNonZero(L::addInts(quarter, L::allInts(1)), quadrant);
    const Ints rows = L::addInts(L::allInts(static_cast<int32_t>(at)), L::laneIndex());
    // All lanes are stored: the arrays have room past a full batch.
    const typename L::Packing packing = L::packing(valid);
    L::storePacked(c.rows + kept, packing, rows);
    L::storePacked(c.theta + kept, packing, theta);
    L::storePacked(c.limit + kept, packing, limit);
    L::storePacked(c.group + kept, packing, group);
    return L::count(valid);
}

// listCandidatesScalar's listing; with Backward the column runs down in
// memory in both maps, and each register is loaded from its last row's
// element and its lanes reversed.
template <class L, bool Backward>
inline int32_t listCandidatesOf(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                                float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                                int32_t *n) {
    const int64_t step = Backward ? -1 : 1;
    static_assert(listingGroup % L::width == 0, "whole registers per group");
    constexpr int32_t registers = listingGroup / L::width;
    int32_t kept = 0;
    int64_t row = y0;
    while (row < h && kept <= batchRows - listingGroup) {
        cpu::prefetch(ahead + step * row);
        const int64_t end = h - row > listingGroup ? row + listingGroup : h;
        // The group's copy first; a group without a non-zero pixel, common in
        // sparse maps, is then skipped on one branch rather than one per
        // register.
        typename L::Floats v[registers];
        typename L::Mask nonZero[registers];
        typename L::Mask anyNonZero = L::firstLanes(0);
        for (int32_t r = 0; r < registers; ++r) {
            const int64_t at = row + r * L::width;
            const int64_t inside = end - at;
            if (inside >= L::width) {
                v[r] = Backward ? loadBackward<L>(edge - at, inside) : L::load(edge + at);
                L::store(thinned + at, v[r]);
            } else if (inside > 0) {
                v[r] = Backward ? loadBackward<L>(edge - at, inside)
                                : L::loadFirst(edge + at, static_cast<int32_t>(inside));
                L::storeFirst(thinned + at, v[r], static_cast<int32_t>(inside));
            } else {
                v[r] = L::all(0.0f);
            }
            nonZero[r] = L::nonZero(v[r]);
            anyNonZero = L::either(anyNonZero, nonZero[r]);
        }
        if (!L::none(anyNonZero)) {
            for (int32_t r = 0; r < registers && row + r * L::width < end; ++r) {
                const int64_t at = row + r * L::width;
                const int32_t inside = static_cast<int32_t>(end - at < L::width ? end - at : L::width);
                kept += listRegister<L, Backward>(v[r], nonZero[r], orientationMap + (column + step * at), at,
                                                  inside, multiplier, c, kept);
            }
        }
        row = end;
    }
    *n = kept;
    return static_cast<int32_t>(row);
}

}  // namespace crest
