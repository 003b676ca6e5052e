// The lane operations of the AVX2 sampler, for the step loop of lineSteps.h:
// eight lines per register. Everything here is built for AVX2 (and the
// module's other files for plain x86-64).
#include "lineSampler.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

CPU_AVX2_FUNCTIONS

#include "lineSteps.h"

namespace crest {

namespace {

struct Avx2Lanes : PackingInPlace {
    static constexpr int32_t width = 8;
    using Floats = __m256;
    using Ints = __m256i;
    static __m256 all(float v) { return _mm256_set1_ps(v); }
    static __m256i allInts(int32_t v) { return _mm256_set1_epi32(v); }
    static __m256 load(const float *p) { return _mm256_loadu_ps(p); }
    static __m256i loadInts(const int32_t *p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    static void store(float *p, __m256 v) { _mm256_storeu_ps(p, v); }
    static void storeInts(int32_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
    static __m256 add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
    static __m256 sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
    static __m256 mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
    static __m256 toFloat(__m256i v) { return _mm256_cvtepi32_ps(v); }
    static __m256i truncate(__m256 v) { return _mm256_cvttps_epi32(v); }
    static __m256 clamp(__m256 p, __m256 threshold, __m256 ceiling) {
        p = _mm256_and_ps(p, _mm256_cmp_ps(p, _mm256_setzero_ps(), _CMP_GE_OQ));
        return _mm256_blendv_ps(p, ceiling, _mm256_cmp_ps(p, threshold, _CMP_GT_OQ));
    }
    static __m256i linearIndex(__m256i iy, __m256i ix, __m256i h) {
        return _mm256_add_epi32(iy, _mm256_mullo_epi32(ix, h));
    }
    // The pairs of lanes 0-3, then of lanes 4-7, each split into first and
    // second within their 128-bit halves, then the halves swapped together.
    static void splitPairs(const float *pairs, __m256 &first, __m256 &second) {
        const __m256i firsts = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        const __m256 a = _mm256_permutevar8x32_ps(_mm256_loadu_ps(pairs), firsts);
        const __m256 b = _mm256_permutevar8x32_ps(_mm256_loadu_ps(pairs + 8), firsts);
        first = _mm256_permute2f128_ps(a, b, 0x20);
        second = _mm256_permute2f128_ps(a, b, 0x31);
    }
    static int32_t keepWeaker(uint32_t *alive, __m256 s, __m256 limit) {
        const __m256 stronger = _mm256_cmp_ps(s, limit, _CMP_GT_OQ);
        const __m256i stays =
            _mm256_andnot_si256(_mm256_castps_si256(stronger), loadInts(reinterpret_cast<int32_t *>(alive)));
        storeInts(reinterpret_cast<int32_t *>(alive), stays);
        return cpu::popcount(static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(stays))));
    }
};

}  // namespace

void sampleLinesAvx2(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<Avx2Lanes>(map, x, radius, batch, thinned);
}

}  // namespace crest

CPU_END_FUNCTIONS

#endif  // CPU_WIDE_SIMD
