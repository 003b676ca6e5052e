// Bounds on split impurities without division, for the AVX-512 versions of
// the binned scan (boundedPickAvx512.cpp, smallNodeAvx512.cpp): eight
// candidates' impurities (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W at
// once, from products with reciprocals (VRCP14PD, accurate to 2^-14, refined
// by one Newton step to about 2^-28). With D = (|W_L| + |q_L| + |W_R| +
// |q_R|) / |W|, q the approximate S / W of a side, the approximation and the
// roundings of both evaluations stay below 2^-27.5 D, and the bounds allow
// 2^-26 D. That holds while every value is finite and far from overflow and
// from subnormals; a lane outside those ranges is not "tame" and its bounds
// say nothing. Include only from files built for AVX-512.
#pragma once

#include "common/cpu.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <cmath>
#include <cstdint>

namespace split::binned {

// Eight candidates' side weights and class sums, as the reference forms them
// (addClassTerms, candidateScan.h).
struct CandidateSums {
    __m512d WL, WR, SL, SR;
};

struct ImpurityBounds {
    __m512d lower, upper;
    __mmask8 tame;
};

// `iW` holds 1 / W; lanes outside `valid` are never tame. Without the
// Newton step (Refined false) the reciprocals are accurate to 2^-14, the
// error stays below 2^-13.8 D and the bounds allow 2^-12 D: wider bounds,
// fewer operations, for candidates whose impurities lie far apart.
template <bool Refined = true>
CPU_AVX512 CPU_INLINE ImpurityBounds impurityBounds(const CandidateSums &s, __m512d iW, __mmask8 valid) {
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512d tiny = _mm512_set1_pd(0x1p-1000), huge = _mm512_set1_pd(0x1p1000);
    __m512d rL = _mm512_maskz_rcp14_pd(0xff, s.WL);
    __m512d rR = _mm512_maskz_rcp14_pd(0xff, s.WR);
    if (Refined) {
        rL = _mm512_mul_pd(rL, _mm512_sub_pd(two, _mm512_mul_pd(s.WL, rL)));
        rR = _mm512_mul_pd(rR, _mm512_sub_pd(two, _mm512_mul_pd(s.WR, rR)));
    }
    const __m512d qL = _mm512_mul_pd(s.SL, rL);
    const __m512d qR = _mm512_mul_pd(s.SR, rR);
    const __m512d I =
        _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(s.WL, qL), iW), _mm512_mul_pd(_mm512_sub_pd(s.WR, qR), iW));
    const __m512d aWL = _mm512_abs_pd(s.WL), aWR = _mm512_abs_pd(s.WR);
    const __m512d aqL = _mm512_abs_pd(qL), aqR = _mm512_abs_pd(qR);
    const __m512d D =
        _mm512_mul_pd(_mm512_add_pd(_mm512_add_pd(aWL, aqL), _mm512_add_pd(aWR, aqR)), _mm512_abs_pd(iW));
    // D is NaN or infinite when any of its terms is, and its ordered
    // comparisons then fail; the four comparisons are independent.
    const __m512d least = _mm512_maskz_min_pd(0xff, aWL, aWR);
    const __m512d most = _mm512_maskz_max_pd(0xff, _mm512_maskz_max_pd(0xff, aWL, aWR), _mm512_maskz_max_pd(0xff, aqL, aqR));
    const __mmask8 sides = _mm512_cmp_pd_mask(least, tiny, _CMP_GE_OQ) & _mm512_cmp_pd_mask(most, huge, _CMP_LE_OQ);
    const __mmask8 spread = _mm512_cmp_pd_mask(D, _mm512_set1_pd(0x1p-900), _CMP_GE_OQ) &
                            _mm512_cmp_pd_mask(D, huge, _CMP_LE_OQ);
    const __mmask8 tame = static_cast<__mmask8>(valid & sides & spread);
    const __m512d delta = _mm512_mul_pd(D, _mm512_set1_pd(Refined ? 0x1p-26 : 0x1p-12));
    return {_mm512_sub_pd(I, delta), _mm512_add_pd(I, delta), tame};
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
// The running state of a bounds pass over blocks of eight candidates.
struct BoundsPass {
    __m512d reach;  // per lane, the lowest upper bound of its tame candidates

    CPU_AVX512 CPU_INLINE BoundsPass() : reach(_mm512_set1_pd(HUGE_VAL)) {}
    // Takes one block's bounds over its `valid` lanes; returns the valid
    // lanes that are not tame, which pick evaluates whatever their bounds.
    CPU_AVX512 CPU_INLINE __mmask8 add(const ImpurityBounds &i, __mmask8 valid) {
        reach = _mm512_mask_min_pd(reach, i.tame, reach, i.upper);
        return static_cast<__mmask8>(valid & ~i.tame);
    }
};

// The lanes of a block that pick evaluates exactly (see BoundsPass): lower
// bound below G0 and at or below reach, and every untamed one.
CPU_AVX512 CPU_INLINE uint32_t lanesToEvaluate(__m512d lower, __m512d G0, __m512d reach, __mmask8 valid,
                                               __mmask8 untamed) {
    const __mmask8 near =
        _mm512_mask_cmp_pd_mask(_mm512_cmp_pd_mask(lower, G0, _CMP_LT_OQ), lower, reach, _CMP_LE_OQ);
    return static_cast<uint32_t>((near & valid) | untamed);
}

// The lowest of eight values without NaN.
CPU_AVX512 CPU_INLINE double lowest(__m512d v) {
    const __m256d m4 = _mm256_min_pd(_mm512_maskz_extractf64x4_pd(0xf, v, 0), _mm512_maskz_extractf64x4_pd(0xf, v, 1));
    const __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(m4), _mm256_extractf128_pd(m4, 1));
    return _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
}

}  // namespace split::binned

#endif
