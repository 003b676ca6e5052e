// The lane operations of the AVX-512 sampler, for the step loop of
// lineSteps.h: sixteen lines per register, and the packing of the lines still
// alive compressed in registers. Also the AVX-512 listing of candidates.
// Everything here is built for AVX-512 (and the module's other files for plain
// x86-64).
#include "lineSampler.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <limits>

CPU_AVX512_FUNCTIONS

#include "lineSteps.h"

namespace crest {

namespace {

// clearSuppressed, then with `pack` packLines: the lanes are compressed in
// registers, and the stores never pass the lanes already read.
void clearAndPackAvx512(LineBatch &batch, StepScratch &step, float *thinned, bool pack) {
    int32_t kept = 0;
    for (int32_t k = 0; k < batch.n; k += 16) {
        const __mmask16 real = batch.n - k >= 16 ? 0xffff : static_cast<__mmask16>((1u << (batch.n - k)) - 1);
        const __m512i alive = _mm512_load_si512(step.alive + k);
        const __mmask16 stays = _mm512_mask_test_epi32_mask(real, alive, alive);
        const __m512i rows = _mm512_loadu_si512(batch.rows + k);
        _mm512_mask_i32scatter_ps(thinned, real & static_cast<__mmask16>(~stays), rows, _mm512_setzero_ps(), 4);
        if (!pack) continue;
        const __m512 sn = _mm512_loadu_ps(batch.sn + k), cs = _mm512_loadu_ps(batch.cs + k);
        const __m512 limit = _mm512_loadu_ps(batch.limit + k);
        _mm512_storeu_si512(batch.rows + kept, _mm512_maskz_compress_epi32(stays, rows));
        _mm512_storeu_ps(batch.sn + kept, _mm512_maskz_compress_ps(stays, sn));
        _mm512_storeu_ps(batch.cs + kept, _mm512_maskz_compress_ps(stays, cs));
        _mm512_storeu_ps(batch.limit + kept, _mm512_maskz_compress_ps(stays, limit));
        _mm512_storeu_si512(step.alive + kept, _mm512_set1_epi32(-1));
        kept += cpu::popcount(stays);
    }
    if (pack) batch.n = kept;
}

struct Avx512Lanes {
    static constexpr int32_t width = 16;
    using Floats = __m512;
    using Ints = __m512i;
    static __m512 all(float v) { return _mm512_set1_ps(v); }
    static __m512i allInts(int32_t v) { return _mm512_set1_epi32(v); }
    static __m512 load(const float *p) { return _mm512_loadu_ps(p); }
    static __m512i loadInts(const int32_t *p) { return _mm512_loadu_si512(p); }
    static void store(float *p, __m512 v) { _mm512_storeu_ps(p, v); }
    static void storeInts(int32_t *p, __m512i v) { _mm512_storeu_si512(p, v); }
    static __m512 add(__m512 a, __m512 b) { return _mm512_add_ps(a, b); }
    static __m512 sub(__m512 a, __m512 b) { return _mm512_sub_ps(a, b); }
    static __m512 mul(__m512 a, __m512 b) { return _mm512_mul_ps(a, b); }
    // The masked forms: the plain ones leave their unused operand undefined,
    // which GCC takes for an uninitialised variable.
    static __m512 toFloat(__m512i v) { return _mm512_maskz_cvtepi32_ps(0xffff, v); }
    static __m512i truncate(__m512 v) { return _mm512_maskz_cvttps_epi32(0xffff, v); }
    static __m512 clamp(__m512 p, __m512 threshold, __m512 ceiling) {
        p = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(p, _mm512_setzero_ps(), _CMP_GE_OQ), p);
        return _mm512_mask_mov_ps(p, _mm512_cmp_ps_mask(p, threshold, _CMP_GT_OQ), ceiling);
    }
    static __m512i linearIndex(__m512i iy, __m512i ix, __m512i h) {
        return _mm512_add_epi32(iy, _mm512_mullo_epi32(ix, h));
    }
    static void splitPairs(const float *pairs, __m512 &first, __m512 &second) {
        const __m512i firsts = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i seconds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        const __m512 a = _mm512_loadu_ps(pairs), b = _mm512_loadu_ps(pairs + 16);
        first = _mm512_permutex2var_ps(a, firsts, b);
        second = _mm512_permutex2var_ps(a, seconds, b);
    }
    static int32_t keepWeaker(uint32_t *alive, __m512 s, __m512 limit) {
        const __mmask16 stronger = _mm512_cmp_ps_mask(s, limit, _CMP_GT_OQ);
        const __m512i was = _mm512_loadu_si512(alive);
        const __mmask16 stays = _mm512_mask_test_epi32_mask(static_cast<__mmask16>(~stronger), was, was);
        _mm512_storeu_si512(alive, _mm512_maskz_mov_epi32(stays, _mm512_set1_epi32(-1)));
        return cpu::popcount(stays);
    }
    static void pack(LineBatch &batch, StepScratch &step, float *thinned) {
        clearAndPackAvx512(batch, step, thinned, true);
    }
    static void clear(LineBatch &batch, StepScratch &step, float *thinned) {
        clearAndPackAvx512(batch, step, thinned, false);
    }
};

}  // namespace

void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<Avx512Lanes>(map, x, radius, batch, thinned);
}

// The orientation is loaded only in the lanes of non-zero pixels, and the
// candidates are compressed into place.
int32_t listCandidatesAvx512(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n) {
    const __m512 zero = _mm512_setzero_ps(), factor = _mm512_set1_ps(multiplier);
    const __m512 infinity = _mm512_set1_ps(std::numeric_limits<float>::infinity());
    const __m512 quarterTurns = _mm512_set1_ps(quarterTurnsPerRadian), shift = _mm512_set1_ps(roundingShift);
    const __m512i shiftBits = _mm512_set1_epi32(static_cast<int32_t>(roundingShiftBits));
    const __m512i one = _mm512_set1_epi32(1), mask = _mm512_set1_epi32(static_cast<int32_t>(quadrantMask));
    __m512i y = _mm512_add_epi32(_mm512_set1_epi32(y0),
                                 _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    int32_t kept = 0;
    int64_t row = y0;  // may pass h by up to 15 (and so INT32_MAX)
    static_assert(listingGroup == 16, "one register of rows per group");
    for (; row < h && kept <= batchRows - listingGroup; row += 16, y = _mm512_add_epi32(y, _mm512_set1_epi32(16))) {
        const __mmask16 inside = h - row >= 16 ? 0xffff : static_cast<__mmask16>((1u << (h - row)) - 1);
        const __m512 v = _mm512_maskz_loadu_ps(inside, edge + row);
        _mm512_mask_storeu_ps(thinned + row, inside, v);
        cpu::prefetch(ahead + row);
        const __mmask16 nonZero = _mm512_mask_cmp_ps_mask(inside, v, zero, _CMP_NEQ_UQ);  // NaN too
        if (nonZero == 0) continue;
        const __m512 theta = _mm512_maskz_loadu_ps(nonZero, orientationMap + (column + row));
        const __m512 limit = _mm512_mul_ps(v, factor);
        const __mmask16 valid = _mm512_mask_cmp_ps_mask(nonZero, _mm512_abs_ps(theta), infinity, _CMP_LT_OQ) &
                                _mm512_cmp_ps_mask(limit, limit, _CMP_ORD_Q);
        // quadrantGroup, lane by lane.
        const __m512 shifted = _mm512_add_ps(_mm512_mul_ps(theta, quarterTurns), shift);
        const __m512i quadrant = _mm512_sub_epi32(_mm512_castps_si512(shifted), shiftBits);
        const __m512i group = _mm512_maskz_add_epi32(_mm512_test_epi32_mask(quadrant, quadrant),
                                                     _mm512_and_si512(quadrant, mask), one);
        // Compress in registers and store all 16 lanes (rather than the
        // memory form: docs/performance.md); the arrays have room.
        _mm512_storeu_si512(c.rows + kept, _mm512_maskz_compress_epi32(valid, y));
        _mm512_storeu_ps(c.theta + kept, _mm512_maskz_compress_ps(valid, theta));
        _mm512_storeu_ps(c.limit + kept, _mm512_maskz_compress_ps(valid, limit));
        _mm512_storeu_si512(c.group + kept, _mm512_maskz_compress_epi32(valid, group));
        kept += cpu::popcount(valid);
    }
    *n = kept;
    return row < h ? static_cast<int32_t>(row) : h;
}

}  // namespace crest

CPU_END_FUNCTIONS

#endif  // CPU_WIDE_SIMD
