// The SIMD stages: one pixel per lane. Lane for lane the operations are those
// of sampleLinesScalar, in the same order and precision; the neighbours come
// from fetchNeighbourPairs. Built with function attributes so that the rest of
// the module stays plain x86-64.
#include "lineSampler.h"

#ifdef CREST_X86_SAMPLERS
#include <immintrin.h>

// GCC 12 takes the deliberately undefined pass-through operand of several
// AVX-512 intrinsics for an uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace crest {

__attribute__((target("avx2"))) void sampleLinesAvx2(const SampledMap &map, int32_t x, int32_t radius,
                                                     const LineBatch &batch) {
    StepScratch step;
    const __m256 xf = _mm256_set1_ps(static_cast<float>(x));
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 columnThreshold = _mm256_set1_ps(map.columnLimits.threshold);
    const __m256 columnCeiling = _mm256_set1_ps(map.columnLimits.ceiling);
    const __m256 rowThreshold = _mm256_set1_ps(map.rowLimits.threshold);
    const __m256 rowCeiling = _mm256_set1_ps(map.rowLimits.ceiling);
    const __m256i rowCount = _mm256_set1_epi32(map.h);
    const __m256i firsts = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    for (int32_t k = 0; k < batch.n; k += 8) _mm256_storeu_si256(reinterpret_cast<__m256i *>(batch.keep + k), _mm256_set1_epi32(-1));
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const __m256 fd = _mm256_set1_ps(static_cast<float>(d));
        for (int32_t k = 0; k < batch.n; k += 8) {
            const __m256 yf = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(batch.rows + k)));
            __m256 px = _mm256_add_ps(xf, _mm256_mul_ps(_mm256_loadu_ps(batch.cs + k), fd));
            __m256 py = _mm256_add_ps(yf, _mm256_mul_ps(_mm256_loadu_ps(batch.sn + k), fd));
            px = _mm256_and_ps(px, _mm256_cmp_ps(px, zero, _CMP_GE_OQ));
            px = _mm256_blendv_ps(px, columnCeiling, _mm256_cmp_ps(px, columnThreshold, _CMP_GT_OQ));
            py = _mm256_and_ps(py, _mm256_cmp_ps(py, zero, _CMP_GE_OQ));
            py = _mm256_blendv_ps(py, rowCeiling, _mm256_cmp_ps(py, rowThreshold, _CMP_GT_OQ));
            const __m256i ix = _mm256_cvttps_epi32(px);
            const __m256i iy = _mm256_cvttps_epi32(py);
            _mm256_store_si256(reinterpret_cast<__m256i *>(step.index + k), _mm256_add_epi32(iy, _mm256_mullo_epi32(ix, rowCount)));
            _mm256_store_ps(step.fx + k, _mm256_sub_ps(px, _mm256_cvtepi32_ps(ix)));
            _mm256_store_ps(step.fy + k, _mm256_sub_ps(py, _mm256_cvtepi32_ps(iy)));
        }
        fetchNeighbourPairs(map.edgeMap, map.h, batch.n, step);
        for (int32_t k = 0; k < batch.n; k += 8) {
            // Pairs of lanes 0-3 then 4-7, split into first and second.
            const __m256 left0 = _mm256_permutevar8x32_ps(_mm256_load_ps(step.left + 2 * k), firsts);
            const __m256 left1 = _mm256_permutevar8x32_ps(_mm256_load_ps(step.left + 2 * k + 8), firsts);
            const __m256 right0 = _mm256_permutevar8x32_ps(_mm256_load_ps(step.right + 2 * k), firsts);
            const __m256 right1 = _mm256_permutevar8x32_ps(_mm256_load_ps(step.right + 2 * k + 8), firsts);
            const __m256 p00 = _mm256_permute2f128_ps(left0, left1, 0x20);
            const __m256 p10 = _mm256_permute2f128_ps(left0, left1, 0x31);
            const __m256 p01 = _mm256_permute2f128_ps(right0, right1, 0x20);
            const __m256 p11 = _mm256_permute2f128_ps(right0, right1, 0x31);
            const __m256 fx = _mm256_load_ps(step.fx + k), fy = _mm256_load_ps(step.fy + k);
            const __m256 gx = _mm256_sub_ps(one, fx);
            const __m256 gy = _mm256_sub_ps(one, fy);
            __m256 s = _mm256_mul_ps(_mm256_mul_ps(gx, p00), gy);
            s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_mul_ps(fx, p01), gy));
            s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_mul_ps(gx, p10), fy));
            s = _mm256_add_ps(s, _mm256_mul_ps(_mm256_mul_ps(fx, p11), fy));
            const __m256 stronger = _mm256_cmp_ps(s, _mm256_loadu_ps(batch.limit + k), _CMP_GT_OQ);
            __m256i *keep = reinterpret_cast<__m256i *>(batch.keep + k);
            _mm256_storeu_si256(keep, _mm256_andnot_si256(_mm256_castps_si256(stronger), _mm256_loadu_si256(keep)));
        }
    }
}

__attribute__((target("avx512f"))) int32_t listNonZeroAvx512(const float *edge, float *thinned, int32_t y0,
                                                             int32_t y1, int32_t *rows) {
    const __m512 zero = _mm512_setzero_ps();
    __m512i y = _mm512_add_epi32(_mm512_set1_epi32(y0),
                                 _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    int32_t listed = 0;
    int32_t row = y0;
    for (; y1 - row >= 16; row += 16) {
        const __m512 v = _mm512_loadu_ps(edge + row);
        _mm512_storeu_ps(thinned + row, v);
        const __mmask16 nonZero = _mm512_cmp_ps_mask(v, zero, _CMP_NEQ_UQ);  // NaN too
        // Compress in a register and store all 16: the memory form is slow on some cores.
        _mm512_storeu_si512(rows + listed, _mm512_maskz_compress_epi32(nonZero, y));
        listed += __builtin_popcount(nonZero);
        y = _mm512_add_epi32(y, _mm512_set1_epi32(16));
    }
    return listed + listNonZeroScalar(edge, thinned, row, y1, rows + listed);
}

__attribute__((target("avx512f"))) void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius,
                                                          const LineBatch &batch) {
    StepScratch step;
    const __m512 xf = _mm512_set1_ps(static_cast<float>(x));
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
    const __m512 columnThreshold = _mm512_set1_ps(map.columnLimits.threshold);
    const __m512 columnCeiling = _mm512_set1_ps(map.columnLimits.ceiling);
    const __m512 rowThreshold = _mm512_set1_ps(map.rowLimits.threshold);
    const __m512 rowCeiling = _mm512_set1_ps(map.rowLimits.ceiling);
    const __m512i rowCount = _mm512_set1_epi32(map.h);
    const __m512i firsts = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i seconds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    for (int32_t k = 0; k < batch.n; k += 16) _mm512_storeu_si512(batch.keep + k, _mm512_set1_epi32(-1));
    for (int64_t d = -static_cast<int64_t>(radius); d <= radius; ++d) {
        if (d == 0) continue;
        const __m512 fd = _mm512_set1_ps(static_cast<float>(d));
        for (int32_t k = 0; k < batch.n; k += 16) {
            const __m512 yf = _mm512_cvtepi32_ps(_mm512_loadu_si512(batch.rows + k));
            __m512 px = _mm512_add_ps(xf, _mm512_mul_ps(_mm512_loadu_ps(batch.cs + k), fd));
            __m512 py = _mm512_add_ps(yf, _mm512_mul_ps(_mm512_loadu_ps(batch.sn + k), fd));
            px = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(px, zero, _CMP_GE_OQ), px);
            px = _mm512_mask_mov_ps(px, _mm512_cmp_ps_mask(px, columnThreshold, _CMP_GT_OQ), columnCeiling);
            py = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(py, zero, _CMP_GE_OQ), py);
            py = _mm512_mask_mov_ps(py, _mm512_cmp_ps_mask(py, rowThreshold, _CMP_GT_OQ), rowCeiling);
            const __m512i ix = _mm512_cvttps_epi32(px);
            const __m512i iy = _mm512_cvttps_epi32(py);
            _mm512_store_si512(step.index + k, _mm512_add_epi32(iy, _mm512_mullo_epi32(ix, rowCount)));
            _mm512_store_ps(step.fx + k, _mm512_sub_ps(px, _mm512_cvtepi32_ps(ix)));
            _mm512_store_ps(step.fy + k, _mm512_sub_ps(py, _mm512_cvtepi32_ps(iy)));
        }
        fetchNeighbourPairs(map.edgeMap, map.h, batch.n, step);
        for (int32_t k = 0; k < batch.n; k += 16) {
            const __m512 left0 = _mm512_load_ps(step.left + 2 * k), left1 = _mm512_load_ps(step.left + 2 * k + 16);
            const __m512 right0 = _mm512_load_ps(step.right + 2 * k), right1 = _mm512_load_ps(step.right + 2 * k + 16);
            const __m512 p00 = _mm512_permutex2var_ps(left0, firsts, left1);
            const __m512 p10 = _mm512_permutex2var_ps(left0, seconds, left1);
            const __m512 p01 = _mm512_permutex2var_ps(right0, firsts, right1);
            const __m512 p11 = _mm512_permutex2var_ps(right0, seconds, right1);
            const __m512 fx = _mm512_load_ps(step.fx + k), fy = _mm512_load_ps(step.fy + k);
            const __m512 gx = _mm512_sub_ps(one, fx);
            const __m512 gy = _mm512_sub_ps(one, fy);
            __m512 s = _mm512_mul_ps(_mm512_mul_ps(gx, p00), gy);
            s = _mm512_add_ps(s, _mm512_mul_ps(_mm512_mul_ps(fx, p01), gy));
            s = _mm512_add_ps(s, _mm512_mul_ps(_mm512_mul_ps(gx, p10), fy));
            s = _mm512_add_ps(s, _mm512_mul_ps(_mm512_mul_ps(fx, p11), fy));
            const __mmask16 stronger = _mm512_cmp_ps_mask(s, _mm512_loadu_ps(batch.limit + k), _CMP_GT_OQ);
            _mm512_mask_storeu_epi32(batch.keep + k, stronger, _mm512_setzero_si512());
        }
    }
}

}  // namespace crest
#endif
