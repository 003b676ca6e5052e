// Both sides of the split in one 128-bit register, right in the low lane,
// left in the high one. Lane for lane the operations are those of
// referenceSweep (reference.h) in the same order and precision: W_R - w and
// W_L + w, masses likewise, terms ((m * c) * m) * c, S less the old term
// then plus the new; a = (W_L - S_L / W_L) / W, b = (W_R - S_R / W_R) / W,
// I = a + b.
//
// Included by the SSE2 version and, inside its instruction-set region, by
// the AVX2 one: each file gets a PairSides of its own, built for its
// instruction set, with the weight's step the instruction set does best.
#pragma once

#include <emmintrin.h>

#include "sweepBlock.h"

namespace split {
namespace {

// How a sample's weight w leaves the right side and joins the left one, in
// both lanes at once: SSE2 adds (-w, w), x + (-w) being x - w to the bit.
struct NegatedStep {
    static __m128d of(double w) { return _mm_set_pd(w, -w); }
    static __m128d apply(__m128d pair, __m128d step) { return _mm_add_pd(pair, step); }
};

template <class Step>
struct PairSides {
    __m128d W, S;  // (W_R, W_L), (S_R, S_L)
    PairSides() = default;
    PairSides(double W0, double S0) : W(lowLane(W0)), S(lowLane(S0)) {}
    // (v, 0), loaded from memory: the register-to-register vmovq that
    // _mm_set_pd may become for a high register is an encoding that
    // valgrind's decoder refuses, and the memory checks run this build.
    static __m128d lowLane(double v) {
#if defined(__GNUC__)
        __asm__("" : "+m"(v));
#endif
        return _mm_load_sd(&v);
    }
    // The entry's pairs lie on 16-byte boundaries (sweep.cpp), so that SSE2
    // takes them straight into its arithmetic.
    void move(double w, double *entry) {
        const __m128d step = Step::of(w);
        W = Step::apply(W, step);
        S = _mm_sub_pd(S, _mm_load_pd(entry + classSlot::rightTerm));
        const __m128d m = Step::apply(_mm_load_pd(entry + classSlot::rightMass), step);
        _mm_store_pd(entry + classSlot::rightMass, m);
        const __m128d cPair = _mm_load_pd(entry + classSlot::weight);
        const __m128d t = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(m, cPair), m), cPair);
        _mm_store_pd(entry + classSlot::rightTerm, t);
        S = _mm_add_pd(S, t);
    }
    double splitGini(double node) const {
        const __m128d side = _mm_div_pd(_mm_sub_pd(W, _mm_div_pd(S, W)), _mm_set1_pd(node));
        return _mm_cvtsd_f64(_mm_unpackhi_pd(side, side)) + _mm_cvtsd_f64(side);
    }
    // The test without division (sweepBlock.h), the first position in the
    // low lanes and the second in the high ones.
    static constexpr int32_t screenGroup = 2;
    template <bool checkSides>
    static unsigned mayBeat(const PairSides (&at)[screenGroup], double bestTimesW, double threshold) {
        const __m128d WR = _mm_unpacklo_pd(at[0].W, at[1].W), WL = _mm_unpackhi_pd(at[0].W, at[1].W);
        const __m128d SR = _mm_unpacklo_pd(at[0].S, at[1].S), SL = _mm_unpackhi_pd(at[0].S, at[1].S);
        const __m128d p = _mm_mul_pd(WR, WL);
        const __m128d cross = _mm_add_pd(_mm_mul_pd(SL, WR), _mm_mul_pd(SR, WL));
        const __m128d d = _mm_sub_pd(_mm_mul_pd(p, _mm_sub_pd(_mm_add_pd(WR, WL), _mm_set1_pd(bestTimesW))), cross);
        __m128d sure = _mm_cmpgt_pd(d, _mm_set1_pd(threshold));
        // Not a number in either makes min give the other; d is then not a number too.
        if constexpr (checkSides) sure = _mm_and_pd(_mm_cmpgt_pd(_mm_min_pd(WR, WL), _mm_setzero_pd()), sure);
        return static_cast<unsigned>(_mm_movemask_pd(sure)) ^ 3u;
    }
};

}  // namespace
}  // namespace split
