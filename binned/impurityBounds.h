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

// The impurities from products with reciprocals, and each side's S / W.
template <class L>
struct ApproximateImpurity {
    typename L::D I, qL, qR;
};

template <class L, bool Refined>
CPU_INLINE ApproximateImpurity<L> approximateImpurity(const CandidateSums<L> &s, typename L::D iW) {
    using V = typename L::D;
    const V two = L::all(2.0);
    V rL = L::reciprocal(s.WL);
    V rR = L::reciprocal(s.WR);
    if (Refined) {
        rL = rL * (two - s.WL * rL);
        rR = rR * (two - s.WR * rR);
    }
    const V qL = s.SL * rL;
    const V qR = s.SR * rR;
    return {(s.WL - qL) * iW + (s.WR - qR) * iW, qL, qR};
}

// `iW` holds 1 / W; lanes outside `valid` (bits) are never tame. Without
// the Newton step (Refined false) the reciprocals are accurate to 2^-14, the
// error stays below 2^-13.8 D and the bounds allow 2^-12 D: wider bounds,
// fewer operations, for candidates whose impurities lie far apart.
template <class L, bool Refined = true>
CPU_INLINE ImpurityBounds<L> impurityBounds(const CandidateSums<L> &s, typename L::D iW, uint32_t valid) {
    using V = typename L::D;
    const V huge = L::all(0x1p1000);
    const ApproximateImpurity<L> a = approximateImpurity<L, Refined>(s, iW);
    const V qL = a.qL, qR = a.qR, I = a.I;
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

// The lowest D worth a lane's own bound in a plain node, where every listed
// weight lies in [plainWeightLow, plainWeightHigh], within a factor of
// plainWeightRatio of every other, and every class weight's magnitude is at
// most plainClassWeight. Every candidate of such a node is tame, and
// D <= (1 + c^2) (1 + 2^-8), c the largest class weight's magnitude:
// - the sides' weights and class masses are sums of positive values, and
//   running sums of positive values never decrease, so with u = 2^-53 and
//   n <= 32, W_L + W_R <= W (1 + 2^-45); every class's right mass is its
//   total less its left mass, off the true right mass by at most
//   2 n^2 u w_max <= 2^-20 of it (the right side holds at least w_min);
// - S <= c^2 (sum of the side's class masses)^2 up to K + 3 roundings, and
//   the reciprocal estimates lie within 2^-12 of 1 / W_side, so
//   q <= c^2 W_side (1 + 2^-9) on either side;
// - every side weight lies in [2^-41, 2^46], every q below 2^87 and D
//   between 1/2 and 2^42: the ranges where the 2^-13.8 D error holds.
// A bound that allows 2^-12 of that D's upper limit, the same for every
// candidate, then contains each one's exact impurity as impurityBounds'
// own bound does, with no per-lane D to form nor ranges to test.
constexpr double plainWeightLow = 0x1p-40, plainWeightHigh = 0x1p40, plainWeightRatio = 0x1p20,
                 plainClassWeight = 0x1p20;

// A plain node's bound for its candidates (see above): impurityBounds'
// allowance for the highest D the node can give; 0 for a node that is not
// plain; `listed` holds the listed samples' weights in list order. A
// template, as every function built for one instruction set.
template <class L>
CPU_INLINE double plainBound(const BinnedJob &job, const float *listed) {
    float least = HUGE_VALF, most = 0.0f;
    for (int32_t i = 0; i < job.n; ++i) {
        const float w = listed[i];
        if (!(w >= static_cast<float>(plainWeightLow) && w <= static_cast<float>(plainWeightHigh))) return 0.0;
        least = w < least ? w : least;
        most = w > most ? w : most;
    }
    if (job.n > smallNodeLimit || most > least * static_cast<float>(plainWeightRatio)) return 0.0;
    double c = 0.0;
    for (int32_t k = 0; k < job.K; ++k) {
        const double a = std::fabs(job.classWeights[k]);
        if (!(a <= plainClassWeight)) return 0.0;
        c = a > c ? a : c;
    }
    return (1.0 + c * c) * 1.01 * 0x1p-12;
}

// The bounds of a plain node's candidates: every `valid` lane tame, each
// bound `delta` (plainBound) from the approximate impurity.
template <class L>
CPU_INLINE ImpurityBounds<L> plainImpurityBounds(const CandidateSums<L> &s, typename L::D iW,
                                                 typename L::D delta, uint32_t valid) {
    const typename L::D I = approximateImpurity<L, false>(s, iW).I;
    return {I - delta, I + delta, L::fromBits(valid)};
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
        reach = L::lowerTo(reach, i.tame, i.upper);
        return valid & ~L::bits(i.tame);
    }

    // Takes a plain node's vector of upper bounds over every lane, each lane
    // either a candidate (tame), a copy of its lane's previous candidate's
    // bound, or NaN (smallNode.h, bound): neither lowers reach, so no mask
    // of the candidates is needed.
    CPU_INLINE void addPlain(typename L::D upper) { reach = L::lowerUnlessNaN(reach, upper); }
};

// The lanes of a vector that pick evaluates exactly (see BoundsPass): lower
// bound below G0 and at or below reach, and every untamed one.
template <class L>
CPU_INLINE uint32_t lanesToEvaluate(typename L::D lower, typename L::D G0, typename L::D reach, uint32_t valid,
                                    uint32_t untamed) {
    return (L::bits(L::both(L::less(lower, G0), L::atMost(lower, reach))) & valid) | untamed;
}

}  // namespace split::binned
