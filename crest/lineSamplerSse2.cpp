// The sampler in SSE2, which every x86-64 processor has: four lines per
// register, lane for lane the operations of sampleLinesScalar in the same
// order and precision. Only 16-byte vectors, so it also serves the Windows
// build, where wider ones are left out.
#include "lineSampler.h"

#ifdef CREST_SSE2_SAMPLER
#include <emmintrin.h>

namespace crest {

namespace {

// iy + h * ix for non-negative lanes whose products fit 31 bits (SSE2 has no
// 32-bit multiply that keeps the low halves).
inline __m128i linearIndex(__m128i iy, __m128i ix, __m128i rowCount) {
    const __m128i even = _mm_mul_epu32(ix, rowCount);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(ix, 32), rowCount);
    const __m128i products = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                                _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    return _mm_add_epi32(iy, products);
}

// Below 0 reads at +0, above the threshold at the ceiling.
inline __m128 clampTo(__m128 p, __m128 threshold, __m128 ceiling) {
    p = _mm_and_ps(p, _mm_cmpge_ps(p, _mm_setzero_ps()));
    const __m128 high = _mm_cmpgt_ps(p, threshold);
    return _mm_or_ps(_mm_and_ps(high, ceiling), _mm_andnot_ps(high, p));
}

}  // namespace

void sampleLinesSse2(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    StepScratch step;
    for (int32_t k = 0; k < batch.n; ++k) step.alive[k] = ~0u;
    const __m128 xf = _mm_set1_ps(static_cast<float>(x)), one = _mm_set1_ps(1.0f);
    const __m128 columnThreshold = _mm_set1_ps(map.columnLimits.threshold);
    const __m128 columnCeiling = _mm_set1_ps(map.columnLimits.ceiling);
    const __m128 rowThreshold = _mm_set1_ps(map.rowLimits.threshold);
    const __m128 rowCeiling = _mm_set1_ps(map.rowLimits.ceiling);
    const __m128i rowCount = _mm_set1_epi32(map.h);
    static const int8_t aliveInMask[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    for (int64_t d = radius > 0 ? -1 : 0; d != 0 && batch.n > 0; d = nextStep(d, radius)) {
        const int32_t n = batch.n, padded = padLines(batch, step);
        const __m128 fd = _mm_set1_ps(static_cast<float>(d));
        for (int32_t k = 0; k < padded; k += 4) {
            const __m128 yf = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(batch.rows + k)));
            const __m128 px = clampTo(_mm_add_ps(xf, _mm_mul_ps(_mm_loadu_ps(batch.cs + k), fd)), columnThreshold,
                                      columnCeiling);
            const __m128 py = clampTo(_mm_add_ps(yf, _mm_mul_ps(_mm_loadu_ps(batch.sn + k), fd)), rowThreshold,
                                      rowCeiling);
            const __m128i ix = _mm_cvttps_epi32(px);
            const __m128i iy = _mm_cvttps_epi32(py);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(step.index + k), linearIndex(iy, ix, rowCount));
            _mm_storeu_ps(step.fx + k, _mm_sub_ps(px, _mm_cvtepi32_ps(ix)));
            _mm_storeu_ps(step.fy + k, _mm_sub_ps(py, _mm_cvtepi32_ps(iy)));
        }
        fetchNeighbourPairs(map.edgeMap, map.h, padded, step);
        int32_t alive = 0;  // padding lanes are never alive
        for (int32_t k = 0; k < padded; k += 4) {
            const __m128 left0 = _mm_loadu_ps(step.left + 2 * k), left1 = _mm_loadu_ps(step.left + 2 * k + 4);
            const __m128 right0 = _mm_loadu_ps(step.right + 2 * k), right1 = _mm_loadu_ps(step.right + 2 * k + 4);
            const __m128 p00 = _mm_shuffle_ps(left0, left1, _MM_SHUFFLE(2, 0, 2, 0));
            const __m128 p10 = _mm_shuffle_ps(left0, left1, _MM_SHUFFLE(3, 1, 3, 1));
            const __m128 p01 = _mm_shuffle_ps(right0, right1, _MM_SHUFFLE(2, 0, 2, 0));
            const __m128 p11 = _mm_shuffle_ps(right0, right1, _MM_SHUFFLE(3, 1, 3, 1));
            const __m128 fx = _mm_loadu_ps(step.fx + k), fy = _mm_loadu_ps(step.fy + k);
            const __m128 gx = _mm_sub_ps(one, fx);
            const __m128 gy = _mm_sub_ps(one, fy);
            __m128 s = _mm_mul_ps(_mm_mul_ps(gx, p00), gy);
            s = _mm_add_ps(s, _mm_mul_ps(_mm_mul_ps(fx, p01), gy));
            s = _mm_add_ps(s, _mm_mul_ps(_mm_mul_ps(gx, p10), fy));
            s = _mm_add_ps(s, _mm_mul_ps(_mm_mul_ps(fx, p11), fy));
            const __m128 stronger = _mm_cmpgt_ps(s, _mm_loadu_ps(batch.limit + k));
            __m128i *aliveLanes = reinterpret_cast<__m128i *>(step.alive + k);
            const __m128i stays = _mm_andnot_si128(_mm_castps_si128(stronger), _mm_loadu_si128(aliveLanes));
            _mm_storeu_si128(aliveLanes, stays);
            alive += aliveInMask[_mm_movemask_ps(_mm_castsi128_ps(stays))];
        }
        if (worthPacking(alive, n, d, radius)) packLines(batch, step, thinned);
    }
    clearSuppressed(batch, step, thinned);
}

}  // namespace crest
#endif
