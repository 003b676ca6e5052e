// The AVX2 and AVX-512 versions of the fast sweep: both sides carried as one
// pair of lanes (right, left), and a group of positions evaluated in SIMD, one
// side of one position per lane. Lane for lane the operations are those of
// referenceSweep (sweepReference.h) in the same order and precision: W_R - w
// and W_L + w, masses likewise, terms ((m * c) * m) * c, S less the old term
// then plus the new; a = (W_L - S_L / W_L) / W, b = (W_R - S_R / W_R) / W,
// I = a + b. Built with function targets so that the rest of a module stays
// plain x86-64.
#include "sweepBlock.h"

#ifdef CPU_WIDE_SIMD
#include <immintrin.h>

namespace split {

namespace {

// addsub subtracts in the low lane and adds in the high one: the right side
// loses the sample, the left side gains it.
struct PairSums {
    __m128d W, S;  // (W_R, W_L), (S_R, S_L)
    PairSums(double W0, double S0) : W(_mm_set_pd(0.0, W0)), S(_mm_set_pd(0.0, S0)) {}
    CPU_SSE3 void move(const SampleRecord &r, const double *classWeights, double *table, PositionRing &ring,
                       int32_t slot) {
        double *entry = table + classEntry * r.classIndex;
        const __m128d wPair = _mm_set1_pd(r.weight);
        const __m128d cPair = _mm_set1_pd(classWeights[r.classIndex]);
        W = _mm_addsub_pd(W, wPair);
        S = _mm_sub_pd(S, _mm_loadu_pd(entry + 2));
        const __m128d m = _mm_addsub_pd(_mm_loadu_pd(entry), wPair);
        _mm_storeu_pd(entry, m);
        const __m128d t = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(m, cPair), m), cPair);
        _mm_storeu_pd(entry + 2, t);
        S = _mm_add_pd(S, t);
        _mm_store_pd(ring.W + 2 * slot, W);
        _mm_store_pd(ring.S + 2 * slot, S);
    }
};

struct Avx2Kernel {
    using Sums = PairSums;
    static constexpr int32_t width = 4;
    static constexpr int32_t lag = 2;
    CPU_AVX2 static uint32_t group(PositionRing &ring, int32_t slot, double W, double best) {
        const __m256d node = _mm256_set1_pd(W);
        // Each side's W_A * G(A) / W, positions 0 and 1 then 2 and 3: (b0, a0, b1, a1), (b2, a2, b3, a3).
        __m256d t[2];
        for (int32_t h = 0; h < 2; ++h) {
            const __m256d Wp = _mm256_load_pd(ring.W + 2 * slot + 4 * h);
            const __m256d Sp = _mm256_load_pd(ring.S + 2 * slot + 4 * h);
            t[h] = _mm256_div_pd(_mm256_sub_pd(Wp, _mm256_div_pd(Sp, Wp)), node);
        }
        // (a0, a2, a1, a3) + (b0, b2, b1, b3), then back in position order.
        __m256d I = _mm256_add_pd(_mm256_unpackhi_pd(t[0], t[1]), _mm256_unpacklo_pd(t[0], t[1]));
        I = _mm256_permute4x64_pd(I, 0xD8);
        _mm256_store_pd(ring.I + slot, I);
        return static_cast<uint32_t>(_mm256_movemask_pd(_mm256_cmp_pd(I, _mm256_set1_pd(best), _CMP_LT_OQ)));
    }
};

struct Avx512Kernel {
    using Sums = PairSums;
    static constexpr int32_t width = 8;
    static constexpr int32_t lag = 1;
    CPU_AVX512 static uint32_t group(PositionRing &ring, int32_t slot, double W, double best) {
        const __m512d node = _mm512_set1_pd(W);
        // Each side's W_A * G(A) / W, positions 0 to 3 then 4 to 7, right side first.
        __m512d t[2];
        for (int32_t h = 0; h < 2; ++h) {
            const __m512d Wp = _mm512_load_pd(ring.W + 2 * slot + 8 * h);
            const __m512d Sp = _mm512_load_pd(ring.S + 2 * slot + 8 * h);
            t[h] = _mm512_div_pd(_mm512_sub_pd(Wp, _mm512_div_pd(Sp, Wp)), node);
        }
        const __m512i lefts = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
        const __m512i rights = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
        const __m512d I = _mm512_add_pd(_mm512_permutex2var_pd(t[0], lefts, t[1]),
                                        _mm512_permutex2var_pd(t[0], rights, t[1]));
        _mm512_store_pd(ring.I + slot, I);
        return _mm512_cmp_pd_mask(I, _mm512_set1_pd(best), _CMP_LT_OQ);
    }
};

}  // namespace

CPU_AVX2 CPU_FLATTEN int64_t sweepFeatureAvx2(const SweepContext &ctx, int32_t j, double *table,
                                            const SplitRows &out) {
    return sweepFeatureWith<Avx2Kernel>(ctx, j, table, out);
}

CPU_AVX512 CPU_FLATTEN int64_t sweepFeatureAvx512(const SweepContext &ctx, int32_t j, double *table,
                                                const SplitRows &out) {
    return sweepFeatureWith<Avx512Kernel>(ctx, j, table, out);
}

}  // namespace split

#endif
