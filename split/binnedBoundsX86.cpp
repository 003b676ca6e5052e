// The AVX-512 version's evaluation of a feature's candidates: bounds on
// every impurity without dividing, then the reference's divisions for the
// few candidates that can hold the lowest impurity (boundAndPick, binnedBlock.h).
#include "binnedBlock.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <cmath>

#include "binnedSteps.h"
#include "gini.h"

namespace split::binned {

namespace {

// One block of eight candidates j0 .. j0+7 from cumulative row-layout
// tables whose last bin is `last`: the weights of both sides and their class
// sums, with binnedReference::scanBlock's operations lane by lane.
struct CandidateSums {
    __m512d WL, WR, SL, SR;
};

CPU_AVX512 CPU_INLINE CandidateSums candidateSums(const BinnedJob &job, const double *table, int32_t last, int32_t j0) {
    const int64_t stride = job.stride;
    CandidateSums s;
    s.WL = _mm512_load_pd(table + j0);
    s.WR = _mm512_sub_pd(_mm512_set1_pd(table[last]), s.WL);
    s.SL = _mm512_setzero_pd();
    s.SR = _mm512_setzero_pd();
    for (int32_t k = 0; k < job.K; ++k) {
        const __m512d c = _mm512_set1_pd(job.classWeights[k]);
        const double *h = table + (k + 1) * stride;
        const __m512d mL = _mm512_load_pd(h + j0);
        const __m512d cL = _mm512_mul_pd(c, mL);
        const __m512d cR = _mm512_mul_pd(c, _mm512_sub_pd(_mm512_set1_pd(h[last]), mL));
        s.SL = _mm512_add_pd(s.SL, _mm512_mul_pd(cL, cL));
        s.SR = _mm512_add_pd(s.SR, _mm512_mul_pd(cR, cR));
    }
    return s;
}

// Candidate j's impurity exactly as binnedReference::scanBlock computes it.
CPU_AVX512 CPU_INLINE double exactImpurity(const BinnedJob &job, const double *table, int32_t last, int32_t j) {
    const int64_t stride = job.stride;
    const double WL = table[j];
    const double WR = table[last] - WL;
    double SL = 0.0;
    double SR = 0.0;
    for (int32_t k = 0; k < job.K; ++k) {
        const double c = job.classWeights[k];
        const double mL = table[(k + 1) * stride + j];
        const double mR = table[(k + 1) * stride + last] - mL;
        SL = SL + (c * mL) * (c * mL);
        SR = SR + (c * mR) * (c * mR);
    }
    return splitGini(WL, SL, WR, SR, job.W);
}

// binnedReference::scanBlock's strict improvements on G0 in bin order over
// thresholds j = 0 .. bins-2, dividing for few of them, in two steps.
// bound() bounds every candidate's impurity from products with reciprocals
// (VRCP14PD, accurate to 2^-14, refined by one Newton step to about 2^-28):
// with D = (|W_L| + |q_L| + |W_R| + |q_R|) / |W|, q the approximate S / W of
// a side, the approximation and the roundings of both evaluations stay
// below 2^-27.5 D, and the bound allows 2^-26 D. That holds while every
// value is finite and far from overflow and from subnormals; candidates
// outside those ranges ("untamed") are kept for pick() as they are. pick()
// evaluates exactly, in bin order, the kept candidates whose lower bound
// lies below G0 and at or below the lowest upper bound: the lowest impurity
// is reached among them, and none before its first bin reaches it, so the
// strict test picks the reference's bin and impurity.
struct Bounds {
    double reach;  // the lowest upper bound
    __mmask8 untamed[binValueCount / 8];
};

CPU_AVX512 CPU_INLINE __mmask8 candidateLanes(int32_t last, int32_t j0) {
    return last - j0 >= 8 ? 0xff : static_cast<__mmask8>((1u << (last - j0)) - 1u);
}

// The lower bounds go to `lower`, a double per candidate.
CPU_AVX512 void bound(const BinnedJob &job, int32_t bins, const double *table, double *lower, Bounds &b) {
    const int32_t last = bins - 1;
    const __m512d iW = _mm512_set1_pd(1.0 / job.W);
    const __m512d absIW = _mm512_abs_pd(iW);
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512d tiny = _mm512_set1_pd(0x1p-1000), huge = _mm512_set1_pd(0x1p1000);
    const __m512d smallest = _mm512_set1_pd(0x1p-900);
    __m512d upperMin = _mm512_set1_pd(HUGE_VAL);
    for (int32_t j0 = 0; j0 < last; j0 += 8) {
        const CandidateSums s = candidateSums(job, table, last, j0);
        __m512d rL = _mm512_maskz_rcp14_pd(0xff, s.WL);
        __m512d rR = _mm512_maskz_rcp14_pd(0xff, s.WR);
        rL = _mm512_mul_pd(rL, _mm512_sub_pd(two, _mm512_mul_pd(s.WL, rL)));
        rR = _mm512_mul_pd(rR, _mm512_sub_pd(two, _mm512_mul_pd(s.WR, rR)));
        const __m512d qL = _mm512_mul_pd(s.SL, rL);
        const __m512d qR = _mm512_mul_pd(s.SR, rR);
        const __m512d I = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(s.WL, qL), iW),
                                        _mm512_mul_pd(_mm512_sub_pd(s.WR, qR), iW));
        const __m512d aWL = _mm512_abs_pd(s.WL), aWR = _mm512_abs_pd(s.WR);
        const __m512d aqL = _mm512_abs_pd(qL), aqR = _mm512_abs_pd(qR);
        const __m512d D = _mm512_mul_pd(_mm512_add_pd(_mm512_add_pd(aWL, aqL), _mm512_add_pd(aWR, aqR)), absIW);
        // Ordered comparisons: NaN anywhere leaves a lane untamed.
        const __mmask8 valid = candidateLanes(last, j0);
        __mmask8 tame = _mm512_mask_cmp_pd_mask(valid, aWL, tiny, _CMP_GE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, aWR, tiny, _CMP_GE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, aWL, huge, _CMP_LE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, aWR, huge, _CMP_LE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, aqL, huge, _CMP_LE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, aqR, huge, _CMP_LE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, D, smallest, _CMP_GE_OQ);
        tame = _mm512_mask_cmp_pd_mask(tame, D, huge, _CMP_LE_OQ);
        const __m512d delta = _mm512_mul_pd(D, _mm512_set1_pd(0x1p-26));
        _mm512_store_pd(lower + j0, _mm512_sub_pd(I, delta));
        upperMin = _mm512_mask_min_pd(upperMin, tame, upperMin, _mm512_add_pd(I, delta));
        b.untamed[j0 / 8] = static_cast<__mmask8>(valid & ~tame);
    }
    const __m256d m4 = _mm256_min_pd(_mm512_maskz_extractf64x4_pd(0xf, upperMin, 0), _mm512_maskz_extractf64x4_pd(0xf, upperMin, 1));
    const __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(m4), _mm256_extractf128_pd(m4, 1));
    b.reach = _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
}

CPU_AVX512 void pick(const BinnedJob &job, TableBins bins, const double *table, double *lower, const Bounds &b,
                     int32_t p, const SplitRows &rows) {
    const int32_t last = bins.count - 1;
    const double G0 = job.G0;
    const __m512d reach = _mm512_set1_pd(b.reach);
    const __m512d g0 = _mm512_set1_pd(G0);
    double best = G0;
    int32_t bestBin = -1;
    for (int32_t j0 = 0; j0 < last; j0 += 8) {
        const __m512d low = _mm512_load_pd(lower + j0);
        const __mmask8 near = _mm512_mask_cmp_pd_mask(_mm512_cmp_pd_mask(low, g0, _CMP_LT_OQ), low, reach, _CMP_LE_OQ);
        uint32_t kept = static_cast<uint32_t>((near & candidateLanes(last, j0)) | b.untamed[j0 / 8]);
        if (cpu::popcount(kept) > 2) {
            // Many near ties: the whole block's divisions at once.
            const CandidateSums s = candidateSums(job, table, last, j0);
            const __m512d W = _mm512_set1_pd(job.W);
            const __m512d I = _mm512_add_pd(_mm512_div_pd(_mm512_sub_pd(s.WL, _mm512_div_pd(s.SL, s.WL)), W),
                                            _mm512_div_pd(_mm512_sub_pd(s.WR, _mm512_div_pd(s.SR, s.WR)), W));
            _mm512_store_pd(lower + j0, I);
            for (; kept != 0; kept &= kept - 1) {
                const int32_t j = j0 + cpu::countTrailingZeros(kept);
                if (best > lower[j]) {
                    best = lower[j];
                    bestBin = j;
                }
            }
        }
        for (; kept != 0; kept &= kept - 1) {
            const int32_t j = j0 + cpu::countTrailingZeros(kept);
            const double I = exactImpurity(job, table, last, j);
            if (best > I) {
                best = I;
                bestBin = j;
            }
        }
    }
    if (bestBin < 0) return;
    rows.impurity[p] = best;
    rows.gain[p] = G0 - best;
    rows.threshold[p] = static_cast<double>(bins.binOf ? bins.binOf[bestBin] : bestBin);
}

// Nothing beats a NaN G0, and without two bins there is no threshold.
CPU_AVX512 CPU_INLINE bool anyCandidate(const BinnedJob &job, int32_t bins) { return bins > 1 && job.G0 == job.G0; }

// Up to this many bins the divisions of all candidates cost less than the
// two passes.
constexpr int32_t exactBins = 16;

}  // namespace

CPU_AVX512 void boundAndPick(const BinnedJob &job, TableBins bins, const double *table, double *lower, int32_t p,
                             const SplitRows &rows) {
    if (!anyCandidate(job, bins.count)) return;
    if (bins.count <= exactBins) {
        candidateImpurities<8>(job, bins.count, table, lower);
        recordBest(job, bins, lower, p, rows);
        return;
    }
    Bounds b;
    bound(job, bins.count, table, lower, b);
    pick(job, bins, table, lower, b, p, rows);
}

}  // namespace split::binned

#endif
