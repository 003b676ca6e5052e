// Bounds on split impurities without division, for the vector versions of
// the binned scan (boundedPick.h, smallNode.h): a vector of candidates'
// impurities (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W at once, from
// products with reciprocals (the lane operations' estimate, accurate to
// 2^-14, refined by one Newton step to about 2^-28). With D = (|W_L| + |q_L|
// + |W_R| + |q_R|) / |W|, q the approximate S / W of a side, the
// approximation and the roundings of both evaluations stay below 2^-27.5 D,
// and the bounds allow 2^-26 D; a more accurate estimate only narrows the
// error. That holds while every value is finite and far from overflow and
// from subnormals, and the side weights lie where the estimate holds its
// accuracy; a lane outside those ranges is not "tame" and its bounds say
// nothing. `L` supplies the lane operations (lanesAvx512.h, lanesAvx2.h,
// lanesNeon.h); include inside the region built for its instruction set.
#pragma once

namespace split::binned {

// A vector of candidates' side weights and class sums, as the reference
// forms them (addClassTerms, candidateScan.h).
template <class L>
struct CandidateSums {
    typename L::D WL, WR, SL, SR;
};

template <class L>
struct ImpurityBounds {
    typename L::D lower, upper;
    typename L::Mask tame;
};

// `iW` holds 1 / W; lanes outside `valid` (bits) are never tame. Without
// the Newton step (Refined false) the reciprocals are accurate to 2^-14, the
// error stays below 2^-13.8 D and the bounds allow 2^-12 D: wider bounds,
// fewer operations, for candidates whose impurities lie far apart.
template <class L, bool Refined = true>
CPU_INLINE ImpurityBounds<L> impurityBounds(const CandidateSums<L> &s, typename L::D iW, uint32_t valid) {
    using V = typename L::D;
    const V huge = L::all(0x1p1000), two = L::all(2.0);
    V rL = L::reciprocal(s.WL);
    V rR = L::reciprocal(s.WR);
    if (Refined) {
        rL = rL * (two - s.WL * rL);
        rR = rR * (two - s.WR * rR);
    }
    const V qL = s.SL * rL;
    const V qR = s.SR * rR;
    const V I = (s.WL - qL) * iW + (s.WR - qR) * iW;
    const V aWL = L::abs(s.WL), aWR = L::abs(s.WR);
    const V aqL = L::abs(qL), aqR = L::abs(qR);
    const V D = ((aWL + aqL) + (aWR + aqR)) * L::abs(iW);
    // D is NaN or infinite when any of its terms is, and its ordered
    // comparisons then fail; the comparisons are independent.
    const V least = L::min(aWL, aWR);
    const V heaviest = L::max(aWL, aWR);
    const V most = L::max(heaviest, L::max(aqL, aqR));
    typename L::Mask sides = L::both(L::atLeast(least, L::all(L::sideLow)), L::atMost(most, huge));
    if (L::sideHigh < 0x1p1000) sides = L::both(sides, L::atMost(heaviest, L::all(L::sideHigh)));
    const typename L::Mask spread = L::both(L::atLeast(D, L::all(0x1p-900)), L::atMost(D, huge));
    const typename L::Mask tame = L::both(L::fromBits(valid), L::both(sides, spread));
    const V delta = D * L::all(Refined ? 0x1p-26 : 0x1p-12);
    return {I - delta, I + delta, tame};
}

// Why bound-then-pick gives the bits of evaluating every candidate: a tame
// candidate's exact impurity lies within its bounds, so the lowest exact
// impurity among the tame ones is at most `reach`, the lowest upper bound.
// A candidate that the strict test in bin order can record has an exact
// impurity below G0 and, if tame, a lower bound below G0 and at or below
// reach. Pick evaluates exactly, in bin order, every candidate that passes
// those two tests and every one that is not tame; the strict test over them
// records the same bin and impurity as over all candidates, since no
// candidate left out can be below the lowest of those evaluated.
//
// The running state of a bounds pass over vectors of candidates.
template <class L>
struct BoundsPass {
    typename L::D reach;  // per lane, the lowest upper bound of its tame candidates

    CPU_INLINE BoundsPass() : reach(L::all(HUGE_VAL)) {}

    // Takes one vector's bounds over its `valid` lanes; returns the valid
    // lanes that are not tame, which pick evaluates whatever their bounds.
    CPU_INLINE uint32_t add(const ImpurityBounds<L> &i, uint32_t valid) {
        reach = L::maskMin(reach, i.tame, reach, i.upper);
        return valid & ~L::bits(i.tame);
    }
};

// The lanes of a vector that pick evaluates exactly (see BoundsPass): lower
// bound below G0 and at or below reach, and every untamed one.
template <class L>
CPU_INLINE uint32_t lanesToEvaluate(typename L::D lower, typename L::D G0, typename L::D reach, uint32_t valid,
                                    uint32_t untamed) {
    return (L::bits(L::both(L::less(lower, G0), L::atMost(lower, reach))) & valid) | untamed;
}

}  // namespace split::binned
