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
                                                     LineBatch &batch, float *thinned) {
    StepScratch step;
    for (int32_t k = 0; k < batch.n; ++k) step.alive[k] = ~0u;
    const __m256 xf = _mm256_set1_ps(static_cast<float>(x));
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 columnThreshold = _mm256_set1_ps(map.columnLimits.threshold);
    const __m256 columnCeiling = _mm256_set1_ps(map.columnLimits.ceiling);
    const __m256 rowThreshold = _mm256_set1_ps(map.rowLimits.threshold);
    const __m256 rowCeiling = _mm256_set1_ps(map.rowLimits.ceiling);
    const __m256i rowCount = _mm256_set1_epi32(map.h);
    const __m256i firsts = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    for (int64_t d = radius > 0 ? -1 : 0; d != 0 && batch.n > 0; d = nextStep(d, radius)) {
        const int32_t n = batch.n, padded = padLines(batch, step);
        const __m256 fd = _mm256_set1_ps(static_cast<float>(d));
        for (int32_t k = 0; k < padded; k += 8) {
            const __m256 yf = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(batch.rows + k)));
            __m256 px = _mm256_add_ps(xf, _mm256_mul_ps(_mm256_loadu_ps(batch.cs + k), fd));
            __m256 py = _mm256_add_ps(yf, _mm256_mul_ps(_mm256_loadu_ps(batch.sn + k), fd));
            // Below 0 reads at +0, above the threshold at the ceiling.
            px = _mm256_and_ps(px, _mm256_cmp_ps(px, zero, _CMP_GE_OQ));
            px = _mm256_blendv_ps(px, columnCeiling, _mm256_cmp_ps(px, columnThreshold, _CMP_GT_OQ));
            py = _mm256_and_ps(py, _mm256_cmp_ps(py, zero, _CMP_GE_OQ));
            py = _mm256_blendv_ps(py, rowCeiling, _mm256_cmp_ps(py, rowThreshold, _CMP_GT_OQ));
            const __m256i ix = _mm256_cvttps_epi32(px);
            const __m256i iy = _mm256_cvttps_epi32(py);
            _mm256_store_si256(reinterpret_cast<__m256i *>(step.index + k),
                               _mm256_add_epi32(iy, _mm256_mullo_epi32(ix, rowCount)));
            _mm256_store_ps(step.fx + k, _mm256_sub_ps(px, _mm256_cvtepi32_ps(ix)));
            _mm256_store_ps(step.fy + k, _mm256_sub_ps(py, _mm256_cvtepi32_ps(iy)));
        }
        fetchNeighbourPairs(map.edgeMap, map.h, padded, step);
        int32_t alive = 0;  // padding lanes are never alive
        for (int32_t k = 0; k < padded; k += 8) {
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
            __m256i *aliveLanes = reinterpret_cast<__m256i *>(step.alive + k);
            const __m256i stays = _mm256_andnot_si256(_mm256_castps_si256(stronger), _mm256_load_si256(aliveLanes));
            _mm256_store_si256(aliveLanes, stays);
            alive += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(stays))));
        }
        if (worthPacking(alive, n, d, radius)) packLines(batch, step, thinned);
    }
    clearSuppressed(batch, step, thinned);
}

// The orientation is loaded only in the lanes of non-zero pixels, and the
// candidates are compressed into place.
__attribute__((target("avx512f"))) int32_t listCandidatesAvx512(const float *edge, float *thinned,
                                                                const float *orientationMap, int64_t column,
                                                                float multiplier, int32_t y0, int32_t h,
                                                                const float *ahead, Candidates &c, int32_t *n) {
    const __m512 zero = _mm512_setzero_ps(), factor = _mm512_set1_ps(multiplier);
    const __m512 infinity = _mm512_set1_ps(__builtin_inff());
    const __m512 quarterTurns = _mm512_set1_ps(0.636619772f), roundingShift = _mm512_set1_ps(12582912.0f);
    const __m512i shiftBits = _mm512_set1_epi32(0x4b400000);
    const __m512i one = _mm512_set1_epi32(1), three = _mm512_set1_epi32(3);
    __m512i y = _mm512_add_epi32(_mm512_set1_epi32(y0),
                                 _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    int32_t kept = 0;
    int64_t row = y0;  // may pass h by up to 15 (and so INT32_MAX)
    for (; row < h && kept <= batchRows - 16; row += 16, y = _mm512_add_epi32(y, _mm512_set1_epi32(16))) {
        const __mmask16 inside = h - row >= 16 ? 0xffff : static_cast<__mmask16>((1u << (h - row)) - 1);
        const __m512 v = _mm512_maskz_loadu_ps(inside, edge + row);
        _mm512_mask_storeu_ps(thinned + row, inside, v);
        __builtin_prefetch(ahead + row);
        const __mmask16 nonZero = _mm512_mask_cmp_ps_mask(inside, v, zero, _CMP_NEQ_UQ);  // NaN too
        if (nonZero == 0) continue;
        const __m512 theta = _mm512_maskz_loadu_ps(nonZero, orientationMap + (column + row));
        const __m512 limit = _mm512_mul_ps(v, factor);
        const __mmask16 valid = _mm512_mask_cmp_ps_mask(nonZero, _mm512_abs_ps(theta), infinity, _CMP_LT_OQ) &
                                _mm512_cmp_ps_mask(limit, limit, _CMP_ORD_Q);
        // quadrantGroup, lane by lane.
        const __m512 shifted = _mm512_add_ps(_mm512_mul_ps(theta, quarterTurns), roundingShift);
        const __m512i quadrant = _mm512_sub_epi32(_mm512_castps_si512(shifted), shiftBits);
        const __m512i group = _mm512_maskz_add_epi32(_mm512_test_epi32_mask(quadrant, quadrant),
                                                     _mm512_and_si512(quadrant, three), one);
        // Compress in registers and store all 16 lanes: the memory form is
        // slow on some cores, and the arrays have room.
        _mm512_storeu_si512(c.rows + kept, _mm512_maskz_compress_epi32(valid, y));
        _mm512_storeu_ps(c.theta + kept, _mm512_maskz_compress_ps(valid, theta));
        _mm512_storeu_ps(c.limit + kept, _mm512_maskz_compress_ps(valid, limit));
        _mm512_storeu_si512(c.group + kept, _mm512_maskz_compress_epi32(valid, group));
        kept += __builtin_popcount(valid);
    }
    *n = kept;
    return row < h ? static_cast<int32_t>(row) : h;
}

// clearSuppressed, then with `pack` packLines: the lanes are compressed in
// registers, and the stores never pass the lanes already read.
__attribute__((target("avx512f"))) static void clearAndPackAvx512(LineBatch &batch, StepScratch &step,
                                                                  float *thinned, bool pack) {
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
        kept += __builtin_popcount(stays);
    }
    if (pack) batch.n = kept;
}

__attribute__((target("avx512f"))) void sampleLinesAvx512(const SampledMap &map, int32_t x, int32_t radius,
                                                          LineBatch &batch, float *thinned) {
    StepScratch step;
    for (int32_t k = 0; k < batch.n; ++k) step.alive[k] = ~0u;
    const __m512 xf = _mm512_set1_ps(static_cast<float>(x));
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
    const __m512 columnThreshold = _mm512_set1_ps(map.columnLimits.threshold);
    const __m512 columnCeiling = _mm512_set1_ps(map.columnLimits.ceiling);
    const __m512 rowThreshold = _mm512_set1_ps(map.rowLimits.threshold);
    const __m512 rowCeiling = _mm512_set1_ps(map.rowLimits.ceiling);
    const __m512i rowCount = _mm512_set1_epi32(map.h);
    const __m512i firsts = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i seconds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    for (int64_t d = radius > 0 ? -1 : 0; d != 0 && batch.n > 0; d = nextStep(d, radius)) {
        const int32_t n = batch.n, padded = padLines(batch, step);
        const __m512 fd = _mm512_set1_ps(static_cast<float>(d));
        for (int32_t k = 0; k < padded; k += 16) {
            const __m512 yf = _mm512_cvtepi32_ps(_mm512_loadu_si512(batch.rows + k));
            __m512 px = _mm512_add_ps(xf, _mm512_mul_ps(_mm512_loadu_ps(batch.cs + k), fd));
            __m512 py = _mm512_add_ps(yf, _mm512_mul_ps(_mm512_loadu_ps(batch.sn + k), fd));
            // Below 0 reads at +0, above the threshold at the ceiling.
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
        fetchNeighbourPairs(map.edgeMap, map.h, padded, step);
        int32_t alive = 0;  // padding lanes are never alive
        for (int32_t k = 0; k < padded; k += 16) {
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
            const __mmask16 stays =
                _mm512_mask_test_epi32_mask(static_cast<__mmask16>(~stronger), _mm512_load_si512(step.alive + k),
                                            _mm512_load_si512(step.alive + k));
            _mm512_store_si512(step.alive + k, _mm512_maskz_mov_epi32(stays, _mm512_set1_epi32(-1)));
            alive += __builtin_popcount(stays);
        }
        if (worthPacking(alive, n, d, radius)) clearAndPackAvx512(batch, step, thinned, true);
    }
    clearAndPackAvx512(batch, step, thinned, false);
}

}  // namespace crest
#endif
