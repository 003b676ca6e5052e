// The SSE2 version's code (pairSides.h) built for AVX2: the same operations
// in the same order, in three-operand instructions that need no copies of
// the registers they overwrite, and with each weight's step in one addsub,
// which a long column's sweep is short of (docs/performance.md); the test
// without division takes four positions at a time. Built with function
// attributes, so the rest of a module stays plain x86-64.
#include "sweepBlock.h"

#ifdef CPU_WIDE_SIMD
#include <immintrin.h>

CPU_AVX2_FUNCTIONS
#include "pairSides.h"

namespace split {

namespace {

// Both lanes' steps in one instruction: addsub gives (x_R - w, x_L + w) from
// (x_R, x_L) and (w, w), each lane the subtraction or addition of
// referenceSweep, without making -w first.
struct AddSubStep {
    static __m128d of(double w) { return _mm_set1_pd(w); }
    static __m128d apply(__m128d pair, __m128d step) { return _mm_addsub_pd(pair, step); }
};

// The pair sides tested four positions at a time, a position in each lane
// of 256-bit registers: the test's arithmetic costs half as many
// instructions per position as in pairs.
struct WideSides : PairSides<AddSubStep> {
    using PairSides<AddSubStep>::PairSides;
    WideSides() = default;
    static constexpr int32_t screenGroup = 4;
    // (x_R0, x_L0, x_R2, x_L2) and (x_R1, x_L1, x_R3, x_L3) unpacked into
    // the right sides and the left ones, position g in lane g.
    static void split(__m128d x0, __m128d x1, __m128d x2, __m128d x3, __m256d &right, __m256d &left) {
        const __m256d even = _mm256_insertf128_pd(_mm256_castpd128_pd256(x0), x2, 1);
        const __m256d odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(x1), x3, 1);
        right = _mm256_unpacklo_pd(even, odd);
        left = _mm256_unpackhi_pd(even, odd);
    }
    // The pairs' test (pairSides.h), lane for lane.
    template <bool checkSides>
    static unsigned mayBeat(const WideSides (&at)[screenGroup], double bestTimesW, double threshold) {
        __m256d WR, WL, SR, SL;
        split(at[0].W, at[1].W, at[2].W, at[3].W, WR, WL);
        split(at[0].S, at[1].S, at[2].S, at[3].S, SR, SL);
        const __m256d p = _mm256_mul_pd(WR, WL);
        const __m256d cross = _mm256_add_pd(_mm256_mul_pd(SL, WR), _mm256_mul_pd(SR, WL));
        const __m256d d =
            _mm256_sub_pd(_mm256_mul_pd(p, _mm256_sub_pd(_mm256_add_pd(WR, WL), _mm256_set1_pd(bestTimesW))), cross);
        __m256d sure = _mm256_cmp_pd(d, _mm256_set1_pd(threshold), _CMP_GT_OQ);
        if constexpr (checkSides)
            sure = _mm256_and_pd(_mm256_cmp_pd(_mm256_min_pd(WR, WL), _mm256_setzero_pd(), _CMP_GT_OQ), sure);
        return static_cast<unsigned>(_mm256_movemask_pd(sure)) ^ 15u;
    }
};

}  // namespace

// Flattened: the shared loops from sweepBlock.h are built into it for AVX2.
CPU_FLATTEN int64_t sweepFeaturesAvx2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end,
                                      double *table, const SplitRows &out) {
    return sweepFeaturesWith<WideSides>(ctx, method, begin, end, table, out);
}

}  // namespace split
CPU_END_FUNCTIONS

#endif
