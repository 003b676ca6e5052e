// The AVX-512 version's evaluation of a feature's candidates: bounds on
// every impurity without dividing, then the reference's divisions for the
// few candidates that can hold the lowest impurity (boundAndPick, binnedBlock.h).
#include "binnedBlock.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <cmath>

#include "binnedBounds.h"
#include "binnedSteps.h"
#include "gini/gini.h"

namespace split::binned {

namespace {

// One block of eight candidates j0 .. j0+7 from cumulative row-layout
// tables whose last bin is `last`: the weights of both sides and their class
// sums, with binnedReference::scanBlock's operations lane by lane.

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
// bound() bounds every candidate's impurity (binnedBounds.h); pick()
// evaluates exactly, in bin order, the candidates whose lower bound lies
// below G0 and at or below the lowest upper bound, and those not tame: the
// lowest impurity is reached among them, and none before its first bin
// reaches it, so the strict test picks the reference's bin and impurity.
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
    __m512d upperMin = _mm512_set1_pd(HUGE_VAL);
    for (int32_t j0 = 0; j0 < last; j0 += 8) {
        const __mmask8 valid = candidateLanes(last, j0);
        const ImpurityBounds i = impurityBounds(candidateSums(job, table, last, j0), iW, valid);
        _mm512_store_pd(lower + j0, i.lower);
        upperMin = _mm512_mask_min_pd(upperMin, i.tame, upperMin, i.upper);
        b.untamed[j0 / 8] = static_cast<__mmask8>(valid & ~i.tame);
    }
    b.reach = lowest(upperMin);
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
            _mm512_store_pd(lower + j0, exactImpurities(candidateSums(job, table, last, j0), _mm512_set1_pd(job.W)));
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
