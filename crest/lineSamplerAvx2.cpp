// The lane operations of the AVX2 version, for the step loop of lineSteps.h
// and the listing of listingSteps.h: eight lines per register, masks as
// lanes of all ones, packing by a permutation from a table, and clearing line
// by line (AVX2 has no scatter store). Everything here is built for AVX2
// (and the module's other files for plain x86-64).
#include "lineSampler.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <limits>

CPU_AVX2_FUNCTIONS

#include "lineSteps.h"

namespace crest {

namespace {

// For each mask of eight lanes, the lanes it holds in order, three bits each
// (lane numbers from bit 0 on); the rest 0.
struct PackingOrders {
    uint32_t lanes[256];
};
constexpr PackingOrders packingOrdersOf() {
    PackingOrders orders{};
    for (uint32_t mask = 0; mask < 256; ++mask) {
        int32_t next = 0;
        for (uint32_t lane = 0; lane < 8; ++lane)
            if ((mask >> lane) & 1u) orders.lanes[mask] |= lane << (3 * next++);
    }
    return orders;
}
constexpr PackingOrders packingOrders = packingOrdersOf();

struct Avx2Lanes : PackedInRegisters<Avx2Lanes> {
    static constexpr int32_t width = 8;
    using Floats = __m256;
    using Ints = __m256i;
    using Mask = __m256;
    using Packing = __m256i;
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
    static __m256i linearIndexBack(__m256i iy, __m256i ix, __m256i h) {
        return _mm256_sub_epi32(_mm256_mullo_epi32(ix, h), iy);
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
        return count(_mm256_castsi256_ps(stays));
    }

    static __m256i laneIndex() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    static __m256 reversed(__m256 v) { return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    static __m256 firstLanes(int32_t count) {
        return _mm256_castsi256_ps(_mm256_cmpgt_epi32(allInts(count), laneIndex()));
    }
    static __m256 loadFirst(const float *p, int32_t count) { return loadWhere(firstLanes(count), p, count); }
    static void storeFirst(float *p, __m256 v, int32_t count) {
        _mm256_maskstore_ps(p, _mm256_castps_si256(firstLanes(count)), v);
    }
    // A masked load only at the end of a column: the plain one is faster, and
    // the pixels beside a non-zero one lie inside the column.
    static __m256 loadWhere(__m256 m, const float *p, int32_t inside) {
        return inside >= width ? _mm256_loadu_ps(p) : _mm256_maskload_ps(p, _mm256_castps_si256(m));
    }
    static __m256 nonZero(__m256 v) { return _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_NEQ_UQ); }
    static __m256 finite(__m256 v) {
        const __m256 magnitude = _mm256_and_ps(v, _mm256_castsi256_ps(allInts(0x7fffffff)));
        return _mm256_cmp_ps(magnitude, all(std::numeric_limits<float>::infinity()), _CMP_LT_OQ);
    }
    static __m256 ordered(__m256 v) { return _mm256_cmp_ps(v, v, _CMP_ORD_Q); }
    static __m256 both(__m256 a, __m256 b) { return _mm256_and_ps(a, b); }
    static __m256 either(__m256 a, __m256 b) { return _mm256_or_ps(a, b); }
    static bool none(__m256 m) { return _mm256_movemask_ps(m) == 0; }
    static int32_t count(__m256 m) { return cpu::popcount(static_cast<uint32_t>(_mm256_movemask_ps(m))); }
    static __m256i bitsOf(__m256 v) { return _mm256_castps_si256(v); }
    static __m256i addInts(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
    static __m256i subInts(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }
    static __m256i andInts(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
    static __m256i keepWhereNonZero(__m256i v, __m256i q) {
        return _mm256_andnot_si256(_mm256_cmpeq_epi32(q, _mm256_setzero_si256()), v);
    }
    static __m256i packing(__m256 m) {
        const uint32_t lanes = packingOrders.lanes[_mm256_movemask_ps(m)];
        const __m256i shifts = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
        return _mm256_and_si256(_mm256_srlv_epi32(allInts(static_cast<int32_t>(lanes)), shifts), allInts(7));
    }
    static void storePacked(int32_t *p, __m256i order, __m256i v) {
        storeInts(p, _mm256_permutevar8x32_epi32(v, order));
    }
    static void storePacked(float *p, __m256i order, __m256 v) { store(p, _mm256_permutevar8x32_ps(v, order)); }
    static __m256 liveLanes(const uint32_t *alive) {
        const __m256i dead = _mm256_cmpeq_epi32(loadInts(reinterpret_cast<const int32_t *>(alive)),
                                                _mm256_setzero_si256());
        return _mm256_castsi256_ps(_mm256_xor_si256(dead, allInts(-1)));
    }
    static void clearDead(float *thinned, const int32_t *rows, const uint32_t *alive, int32_t count) {
        clearUnlessAlive(thinned, rows, alive, count < width ? count : width);
    }
};

}  // namespace

void sampleLinesAvx2(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<Avx2Lanes>(map, x, radius, batch, thinned);
}

int32_t listCandidatesAvx2(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                           float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                           bool backward) {
    return backward ? listCandidatesOf<Avx2Lanes, true>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                        ahead, c, n)
                    : listCandidatesOf<Avx2Lanes, false>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                         ahead, c, n);
}

}  // namespace crest

CPU_END_FUNCTIONS

#endif  // CPU_WIDE_SIMD
