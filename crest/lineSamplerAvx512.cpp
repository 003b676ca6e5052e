// The lane operations of the AVX-512 version, for the step loop of
// lineSteps.h and the listing of listingSteps.h: sixteen lines per register,
// masks in mask registers, packing by compression and clearing by scatter.
// Everything here is built for AVX-512 (and the module's other files for
// plain x86-64).
#include "lineSampler.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <limits>

CPU_AVX512_FUNCTIONS

#include "lineSteps.h"

namespace crest {

namespace {

struct Avx512Lanes : PackedInRegisters<Avx512Lanes> {
    static constexpr int32_t width = 16;
    using Floats = __m512;
    using Ints = __m512i;
    using Mask = __mmask16;
    using Packing = __mmask16;
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
    static __m512i linearIndexBack(__m512i iy, __m512i ix, __m512i h) {
        return _mm512_sub_epi32(_mm512_mullo_epi32(ix, h), iy);
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

    static __m512i laneIndex() { return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
    static __m512 reversed(__m512 v) {
        const __m512i lastFirst = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        return _mm512_maskz_permutexvar_ps(0xffff, lastFirst, v);
    }
    static __mmask16 firstLanes(int32_t count) {
        return count >= 16 ? 0xffff : static_cast<__mmask16>((1u << count) - 1);
    }
    static __m512 loadFirst(const float *p, int32_t count) { return _mm512_maskz_loadu_ps(firstLanes(count), p); }
    static void storeFirst(float *p, __m512 v, int32_t count) { _mm512_mask_storeu_ps(p, firstLanes(count), v); }
    // Masked only at the end of a column: the plain load is faster, and the
    // pixels beside a non-zero one lie inside the column.
    static __m512 loadWhere(__mmask16 m, const float *p, int32_t inside) {
        return inside >= width ? _mm512_loadu_ps(p) : _mm512_maskz_loadu_ps(m, p);
    }
    static __mmask16 nonZero(__m512 v) { return _mm512_cmp_ps_mask(v, _mm512_setzero_ps(), _CMP_NEQ_UQ); }
    static __mmask16 finite(__m512 v) {
        return _mm512_cmp_ps_mask(_mm512_abs_ps(v), all(std::numeric_limits<float>::infinity()), _CMP_LT_OQ);
    }
    static __mmask16 ordered(__m512 v) { return _mm512_cmp_ps_mask(v, v, _CMP_ORD_Q); }
    static __mmask16 both(__mmask16 a, __mmask16 b) { return a & b; }
    static __mmask16 either(__mmask16 a, __mmask16 b) { return a | b; }
    static bool none(__mmask16 m) { return m == 0; }
    static int32_t count(__mmask16 m) { return cpu::popcount(m); }
    static __m512i bitsOf(__m512 v) { return _mm512_castps_si512(v); }
    static __m512i addInts(__m512i a, __m512i b) { return _mm512_add_epi32(a, b); }
    static __m512i subInts(__m512i a, __m512i b) { return _mm512_sub_epi32(a, b); }
    static __m512i andInts(__m512i a, __m512i b) { return _mm512_and_si512(a, b); }
    static __m512i keepWhereNonZero(__m512i v, __m512i q) {
        return _mm512_maskz_mov_epi32(_mm512_test_epi32_mask(q, q), v);
    }
    // Compression in registers and a store of all 16 lanes, rather than the
    // memory form of compression (docs/performance.md).
    static __mmask16 packing(__mmask16 m) { return m; }
    static void storePacked(int32_t *p, __mmask16 m, __m512i v) {
        _mm512_storeu_si512(p, _mm512_maskz_compress_epi32(m, v));
    }
    static void storePacked(float *p, __mmask16 m, __m512 v) { _mm512_storeu_ps(p, _mm512_maskz_compress_ps(m, v)); }
    static __mmask16 liveLanes(const uint32_t *alive) {
        const __m512i a = _mm512_loadu_si512(alive);
        return _mm512_test_epi32_mask(a, a);
    }
    static void clearDead(float *thinned, const int32_t *rows, const uint32_t *alive, int32_t count) {
        const __mmask16 dead = firstLanes(count) & static_cast<__mmask16>(~liveLanes(alive));
        _mm512_mask_i32scatter_ps(thinned, dead, _mm512_loadu_si512(rows), _mm512_setzero_ps(), 4);
    }
};

}  // namespace

void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<Avx512Lanes>(map, x, radius, batch, thinned);
}

int32_t listCandidatesAvx512(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                             float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                             bool backward) {
    return backward ? listCandidatesOf<Avx512Lanes, true>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                          ahead, c, n)
                    : listCandidatesOf<Avx512Lanes, false>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                           ahead, c, n);
}

}  // namespace crest

CPU_END_FUNCTIONS

#endif  // CPU_WIDE_SIMD
