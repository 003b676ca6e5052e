// The AVX-512 version's evaluation of a feature's candidates: bounds on
// every impurity without dividing, then the reference's divisions for the
// few candidates that can hold the lowest impurity (boundAndPick).
#include "binnedVersions.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include "candidateScan.h"
#include "impurityBoundsAvx512.h"

namespace split::binned {

namespace {

constexpr int32_t blockLanes = 8;  // candidates per block, one per vector lane

// Up to this many bins the divisions of all candidates cost less than the
// two passes.
constexpr int32_t exactBins = 16;

// Beyond this many candidates of a block to evaluate, the whole block's
// divisions at once cost less than one at a time.
constexpr int manyToEvaluate = 2;

// One block of eight candidates j0 .. j0+7 from cumulative row-layout
// tables whose last bin is `last`: the weights of both sides and their
// class sums, with the reference's operations lane by lane.
CPU_AVX512 CPU_INLINE CandidateSums candidateSums(const BinnedJob &job, const double *table, int32_t last, int32_t j0) {
    const int64_t stride = job.stride;
    CandidateSums s;
    s.WL = _mm512_load_pd(table + j0);
    s.WR = _mm512_sub_pd(_mm512_set1_pd(table[last]), s.WL);
    s.SL = _mm512_setzero_pd();
    s.SR = _mm512_setzero_pd();
    for (int32_t k = 0; k < job.K; ++k) {
        const double *h = table + (k + 1) * stride;
        addClassTerms(_mm512_set1_pd(job.classWeights[k]), _mm512_load_pd(h + j0), _mm512_set1_pd(h[last]), s.SL,
                      s.SR);
    }
    return s;
}

CPU_AVX512 CPU_INLINE __mmask8 candidateLanes(int32_t last, int32_t j0) {
    return last - j0 >= blockLanes ? 0xff : static_cast<__mmask8>((1u << (last - j0)) - 1u);
}

// What the bounds pass leaves for pick: the lowest upper bound of all tame
// candidates, and each block's untamed lanes.
struct Bounds {
    double reach;
    __mmask8 untamed[binValueCount / blockLanes];
};

// Bounds every candidate's impurity (impurityBoundsAvx512.h); the lower
// bounds go to `lower`, a double per candidate.
CPU_AVX512 void bound(const BinnedJob &job, int32_t bins, const double *table, double *lower, Bounds &b) {
    const int32_t last = bins - 1;
    const __m512d iW = _mm512_set1_pd(1.0 / job.W);
    BoundsPass pass;
    for (int32_t j0 = 0; j0 < last; j0 += blockLanes) {
        const __mmask8 valid = candidateLanes(last, j0);
        const ImpurityBounds i = impurityBounds(candidateSums(job, table, last, j0), iW, valid);
        _mm512_store_pd(lower + j0, i.lower);
        b.untamed[j0 / blockLanes] = pass.add(i, valid);
    }
    b.reach = lowest(pass.reach);
}

// Evaluates exactly, in bin order, the candidates that can hold the lowest
// impurity (lanesToEvaluate), and writes the best at position p.
CPU_AVX512 void pick(const BinnedJob &job, TableBins bins, const double *table, double *lower, const Bounds &b,
                     int32_t p, const SplitRows &rows) {
    const int32_t last = bins.count - 1;
    const __m512d reach = _mm512_set1_pd(b.reach);
    const __m512d g0 = _mm512_set1_pd(job.G0);
    BestSplit best(job.G0);
    for (int32_t j0 = 0; j0 < last; j0 += blockLanes) {
        uint32_t kept = lanesToEvaluate(_mm512_load_pd(lower + j0), g0, reach, candidateLanes(last, j0),
                                        b.untamed[j0 / blockLanes]);
        if (cpu::popcount(kept) > manyToEvaluate) {
            const CandidateSums s = candidateSums(job, table, last, j0);
            __m512d I;
            splitImpurity(s.WL, s.SL, s.WR, s.SR, job.W, I);
            _mm512_store_pd(lower + j0, I);
            for (; kept != 0; kept &= kept - 1) {
                const int32_t j = j0 + cpu::countTrailingZeros(kept);
                best.offer(lower[j], j);
            }
        }
        for (; kept != 0; kept &= kept - 1) {
            const int32_t j = j0 + cpu::countTrailingZeros(kept);
            best.offer(candidateImpurity(job, table, last, j), j);
        }
    }
    best.writeAt(job, bins, p, rows);
}

// Nothing beats a NaN G0, and without two bins there is no threshold.
CPU_AVX512 CPU_INLINE bool anyCandidate(const BinnedJob &job, int32_t bins) { return bins > 1 && job.G0 == job.G0; }

}  // namespace

CPU_AVX512 void boundAndPick(const BinnedJob &job, TableBins bins, const double *table, double *lower, int32_t p,
                             const SplitRows &rows) {
    if (!anyCandidate(job, bins.count)) return;
    if (bins.count <= exactBins) {
        candidateImpurities<blockLanes>(job, bins.count, table, lower);
        recordBest(job, bins, lower, p, rows);
        return;
    }
    Bounds b;
    bound(job, bins.count, table, lower, b);
    pick(job, bins, table, lower, b, p, rows);
}

}  // namespace split::binned

#endif
