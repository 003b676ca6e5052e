// The listing of candidates for the wider versions: a register of rows at a
// time, copied into the thinned column; the non-zero ones fetch their
// orientation, and the candidates among them (angle finite, limit not NaN)
// are packed into the batch in registers. The same candidates, in the same
// order and with the same values, as listCandidatesScalar.
//
// Beyond the operations of lineSteps.h, a version supplies:
//   L::Mask                     a set of lanes
//   L::Packing                  what packing a mask's lanes to the front takes
//   laneIndex()                 0, 1, ..., width - 1
//   firstLanes(count)           the first `count` lanes (all for count >= width)
//   loadFirst, storeFirst(p, [v,] count)  the first count < width lanes; the
//                               load gives +0 in the others
//   loadWhere(m, p, inside)     the lanes of m (and perhaps others of the
//                               first `inside`); no other element is read
//   nonZero(v), finite(v), ordered(v)  v != 0 (NaN too), |v| < infinity, v == v
//   both(a, b), none(m), count(m)
//   bitsOf(v), addInts, subInts, andInts  the float's bits; lane-wise integers
//   keepWhereNonZero(v, q)      v where q is not 0, else 0
//   packing(m), storePacked(p, packing, v)  stores m's lanes of v to the front
//                               of p; all width entries of p are written
// The file is included inside an instruction-set region (see lineSteps.h).
#pragma once

#include "lineSampler.h"

namespace crest {

template <class L>
inline int32_t listCandidatesOf(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                                float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                                int32_t *n) {
    using Floats = typename L::Floats;
    using Ints = typename L::Ints;
    using Mask = typename L::Mask;
    static_assert(listingGroup % L::width == 0, "whole registers per group");
    const Floats factor = L::all(multiplier);
    const Floats quarterTurns = L::all(quarterTurnsPerRadian), shift = L::all(roundingShift);
    const Ints shiftBits = L::allInts(static_cast<int32_t>(roundingShiftBits));
    const Ints one = L::allInts(1), quadrants = L::allInts(static_cast<int32_t>(quadrantMask));
    const Ints lanes = L::laneIndex();
    int32_t kept = 0;
    int64_t row = y0;  // may pass h by less than a register
    while (row < h && kept <= batchRows - listingGroup) {
        cpu::prefetch(ahead + row);
        const int64_t end = h - row > listingGroup ? row + listingGroup : h;
        for (; row < end; row += L::width) {
            const int32_t inside = static_cast<int32_t>(end - row);
            Floats v;
            if (inside >= L::width) {
                v = L::load(edge + row);
                L::store(thinned + row, v);
            } else {
                v = L::loadFirst(edge + row, inside);
                L::storeFirst(thinned + row, v, inside);
            }
            const Mask nonZero = L::nonZero(v);
            if (L::none(nonZero)) continue;
            const Floats theta = L::loadWhere(nonZero, orientationMap + (column + row), inside);
            const Floats limit = L::mul(v, factor);
            const Mask valid = L::both(L::both(nonZero, L::finite(theta)), L::ordered(limit));
            // quadrantGroup, lane by lane.
            const Ints quadrant = L::subInts(L::bitsOf(L::add(L::mul(theta, quarterTurns), shift)), shiftBits);
            const Ints group = L::keepWhereNonZero(L::addInts(L::andInts(quadrant, quadrants), one), quadrant);
            const Ints rows = L::addInts(L::allInts(static_cast<int32_t>(row)), lanes);
            // All lanes are stored: the arrays have room past a full batch.
            const typename L::Packing packing = L::packing(valid);
            L::storePacked(c.rows + kept, packing, rows);
            L::storePacked(c.theta + kept, packing, theta);
            L::storePacked(c.limit + kept, packing, limit);
            L::storePacked(c.group + kept, packing, group);
            kept += L::count(valid);
        }
    }
    *n = kept;
    return row < h ? static_cast<int32_t>(row) : h;
}

}  // namespace crest
