// The lane operations of the SSE2 sampler, for the step loop of lineSteps.h:
// four lines per register. Every x86-64 processor has SSE2, and 16-byte
// vectors are all the Windows build takes.
#include "lineSteps.h"

#if defined(CPU_X86_64)
#include <emmintrin.h>

namespace crest {

namespace {

struct Sse2Lanes : PackingInPlace {
    static constexpr int32_t width = 4;
    using Floats = __m128;
    using Ints = __m128i;
    static __m128 all(float v) { return _mm_set1_ps(v); }
    static __m128i allInts(int32_t v) { return _mm_set1_epi32(v); }
    static __m128 load(const float *p) { return _mm_loadu_ps(p); }
    static __m128i loadInts(const int32_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
    static void store(float *p, __m128 v) { _mm_storeu_ps(p, v); }
    static void storeInts(int32_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
    static __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
    static __m128 sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
    static __m128 mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
    static __m128 toFloat(__m128i v) { return _mm_cvtepi32_ps(v); }
    static __m128i truncate(__m128 v) { return _mm_cvttps_epi32(v); }
    static __m128 clamp(__m128 p, __m128 threshold, __m128 ceiling) {
        p = _mm_and_ps(p, _mm_cmpge_ps(p, _mm_setzero_ps()));
        const __m128 high = _mm_cmpgt_ps(p, threshold);
        return _mm_or_ps(_mm_and_ps(high, ceiling), _mm_andnot_ps(high, p));
    }
    // SSE2 has no 32-bit multiply that keeps the low halves: the even and
    // odd lanes' 64-bit products, put back together.
    static __m128i lowProducts(__m128i ix, __m128i h) {
        const __m128i even = _mm_mul_epu32(ix, h);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(ix, 32), h);
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static __m128i linearIndex(__m128i iy, __m128i ix, __m128i h) { return _mm_add_epi32(iy, lowProducts(ix, h)); }
    static __m128i linearIndexBack(__m128i iy, __m128i ix, __m128i h) {
        return _mm_sub_epi32(lowProducts(ix, h), iy);
    }
    static void splitPairs(const float *pairs, __m128 &first, __m128 &second) {
        const __m128 a = _mm_loadu_ps(pairs), b = _mm_loadu_ps(pairs + 4);
        first = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        second = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    // Without the popcount instruction of later processors, a table.
    static int32_t keepWeaker(uint32_t *alive, __m128 s, __m128 limit) {
        static const int8_t aliveInMask[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
        const __m128 stronger = _mm_cmpgt_ps(s, limit);
        const __m128i stays =
            _mm_andnot_si128(_mm_castps_si128(stronger), loadInts(reinterpret_cast<int32_t *>(alive)));
        storeInts(reinterpret_cast<int32_t *>(alive), stays);
        return aliveInMask[_mm_movemask_ps(_mm_castsi128_ps(stays))];
    }
};

}  // namespace

void sampleLinesSse2(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<Sse2Lanes>(map, x, radius, batch, thinned);
}

}  // namespace crest

#endif  // CPU_X86_64
