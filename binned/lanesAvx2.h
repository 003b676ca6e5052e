// The AVX2 lane operations of the binned scan's shared loops
// (impurityBounds.h, boundedPick.h, laneTables.h): four doubles per vector,
// a mask as a vector of all-ones or zero lanes; and for smallNode.h eight,
// as two such vectors (Avx2PairLanes). Include only inside a
// CPU_AVX2_FUNCTIONS region, after <immintrin.h>, doublePair.h and every
// other header.
#pragma once

namespace split::binned {

struct Avx2PairLanes;

struct Avx2Lanes {
    static constexpr int width = 4;
    static constexpr bool smallNodes = true;
    using SmallNodeLanes = Avx2PairLanes;
    // The reciprocal estimate goes through single precision: side weights
    // stay well inside its normal range.
    static constexpr double sideLow = 0x1p-120, sideHigh = 0x1p120;

    using D = __m256d;
    using Mask = __m256d;

    // Lane l of entry b is all ones when bit l of b is set.
    alignas(32) static constexpr int64_t laneMasks[16][4] = {
        {0, 0, 0, 0},    {-1, 0, 0, 0},    {0, -1, 0, 0},    {-1, -1, 0, 0},
        {0, 0, -1, 0},   {-1, 0, -1, 0},   {0, -1, -1, 0},   {-1, -1, -1, 0},
        {0, 0, 0, -1},   {-1, 0, 0, -1},   {0, -1, 0, -1},   {-1, -1, 0, -1},
        {0, 0, -1, -1},  {-1, 0, -1, -1},  {0, -1, -1, -1},  {-1, -1, -1, -1}};

    static CPU_INLINE D zero() { return _mm256_setzero_pd(); }
    static CPU_INLINE D all(double a) { return _mm256_set1_pd(a); }
    static CPU_INLINE D load(const double *p) { return _mm256_load_pd(p); }
    static CPU_INLINE void store(double *p, D v) { _mm256_store_pd(p, v); }
    static CPU_INLINE D abs(D v) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v); }
    static CPU_INLINE D min(D a, D b) { return _mm256_min_pd(a, b); }
    static CPU_INLINE D max(D a, D b) { return _mm256_max_pd(a, b); }
    static CPU_INLINE Mask less(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static CPU_INLINE Mask atMost(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static CPU_INLINE Mask atLeast(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static CPU_INLINE Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static CPU_INLINE uint32_t bits(Mask m) { return static_cast<uint32_t>(_mm256_movemask_pd(m)); }
    static CPU_INLINE Mask fromBits(uint32_t b) {
        return _mm256_load_pd(reinterpret_cast<const double *>(laneMasks[b & 15]));
    }
    // The blend stays off reach's chain of dependences.
    static CPU_INLINE D lowerTo(D reach, Mask m, D v) {
        return _mm256_min_pd(reach, _mm256_blendv_pd(_mm256_set1_pd(HUGE_VAL), v, m));
    }
    // The lower of reach and v; reach where v is NaN (vminpd gives its
    // second operand when either is NaN). reach is never NaN.
    static CPU_INLINE D lowerUnlessNaN(D reach, D v) { return _mm256_min_pd(v, reach); }
    // The single-precision estimate (relative error at most 1.5 * 2^-12, and
    // 2^-24 from rounding x to single precision) after one Newton step: below
    // 2^-22 for |x| in [sideLow, sideHigh].
    static CPU_INLINE D reciprocal(D x) {
        const D r = _mm256_cvtps_pd(_mm_rcp_ps(_mm256_cvtpd_ps(x)));
        return r * (2.0 - x * r);
    }
    static CPU_INLINE double lowest(D v) {
        const __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
        return _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
    }

    // Lanes of m set to +0.0 (no bits), the others kept.
    static CPU_INLINE D maskZero(D src, Mask m) { return _mm256_andnot_pd(m, src); }
    // a + b in the lanes of m, a (b) in the others: the other operand adds
    // +0.0 there, which leaves any sum that started from +0.0 as it is (such a
    // sum never holds -0.0), and the operands keep their order.
    static CPU_INLINE D addOrFirst(D a, D b, Mask m) { return _mm256_add_pd(a, _mm256_and_pd(m, b)); }
    static CPU_INLINE D addOrSecond(D a, D b, Mask m) { return _mm256_add_pd(_mm256_and_pd(m, a), b); }
    using Classes = __m256i;
    static CPU_INLINE Classes loadClasses(const int64_t *p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i *>(p));
    }
    static CPU_INLINE Mask classIs(Classes k, int32_t c) {
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(k, _mm256_set1_epi64x(c)));
    }

    // The lane layout's addition of one sample (Avx512Lanes::addToLanes):
    // the lanes outside the key add +0.0, which leaves every value a bin can
    // hold as it is (a bin that starts at +0.0 never holds -0.0).
    static CPU_INLINE void addToLanes(double *row, int64_t key, double weight) {
        const __m256d v = _mm256_load_pd(row);
        const __m256d w = _mm256_and_pd(fromBits(static_cast<uint32_t>(key)), _mm256_set1_pd(weight));
        _mm256_store_pd(row, _mm256_add_pd(v, w));
    }
};

// The small-node scan's lanes (smallNode.h): eight features side by side,
// each double-valued step two four-lane vectors. A step's fixed work (the
// keys and their sort, the loops, the masks' bits) then covers eight
// features, and the two halves' chains of additions overlap.
struct Avx2PairLanes {
    static constexpr int width = 8;
    static constexpr double sideLow = Avx2Lanes::sideLow, sideHigh = Avx2Lanes::sideHigh;

    using D = DoublePair;
    using Mask = D;  // all-ones or zero lanes
    using H = Avx2Lanes;
    // The classes' running sums take a half at a time (smallNode.h): those of
    // three classes and both halves would not fit the 16 registers.
    using Part = Avx2Lanes;
    static constexpr int parts = 2;

    static CPU_INLINE D zero() { return {H::zero(), H::zero()}; }
    static CPU_INLINE D all(double a) { return {H::all(a), H::all(a)}; }
    static CPU_INLINE D load(const double *p) { return {H::load(p), H::load(p + 4)}; }
    static CPU_INLINE void store(double *p, D v) {
        H::store(p, v.lo);
        H::store(p + 4, v.hi);
    }
    static CPU_INLINE D abs(D v) { return {H::abs(v.lo), H::abs(v.hi)}; }
    static CPU_INLINE D min(D a, D b) { return {H::min(a.lo, b.lo), H::min(a.hi, b.hi)}; }
    static CPU_INLINE D max(D a, D b) { return {H::max(a.lo, b.lo), H::max(a.hi, b.hi)}; }
    static CPU_INLINE Mask less(D a, D b) { return {H::less(a.lo, b.lo), H::less(a.hi, b.hi)}; }
    static CPU_INLINE Mask atMost(D a, D b) { return {H::atMost(a.lo, b.lo), H::atMost(a.hi, b.hi)}; }
    static CPU_INLINE Mask atLeast(D a, D b) { return {H::atLeast(a.lo, b.lo), H::atLeast(a.hi, b.hi)}; }
    static CPU_INLINE Mask both(Mask a, Mask b) { return {H::both(a.lo, b.lo), H::both(a.hi, b.hi)}; }
    static CPU_INLINE uint32_t bits(Mask m) { return H::bits(m.lo) | H::bits(m.hi) << 4; }
    static CPU_INLINE Mask fromBits(uint32_t b) { return {H::fromBits(b), H::fromBits(b >> 4)}; }
    static CPU_INLINE D lowerTo(D reach, Mask m, D v) {
        return {H::lowerTo(reach.lo, m.lo, v.lo), H::lowerTo(reach.hi, m.hi, v.hi)};
    }
    static CPU_INLINE D lowerUnlessNaN(D reach, D v) {
        return {H::lowerUnlessNaN(reach.lo, v.lo), H::lowerUnlessNaN(reach.hi, v.hi)};
    }
    static CPU_INLINE D reciprocal(D x) { return {H::reciprocal(x.lo), H::reciprocal(x.hi)}; }

    using Keys = __m256i;
    struct Classes {
        __m256i lo, hi;
    };
    static CPU_INLINE Keys keys(uint64_t bins, int shift, int32_t position) {
        const __m256i b = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(bins)));
        return _mm256_or_si256(_mm256_slli_epi32(b, shift), _mm256_set1_epi32(position));
    }
    static CPU_INLINE Keys allKeys(uint32_t k) { return _mm256_set1_epi32(static_cast<int32_t>(k)); }
    static CPU_INLINE Keys keysMin(Keys a, Keys b) { return _mm256_min_epu32(a, b); }
    static CPU_INLINE Keys keysMax(Keys a, Keys b) { return _mm256_max_epu32(a, b); }
    static CPU_INLINE Keys shiftDown(Keys k, int shift) { return _mm256_srli_epi32(k, shift); }
    // For keys and v below 2^31, where the signed comparison is the unsigned one.
    static CPU_INLINE uint32_t keysAtLeast(Keys k, uint32_t v) {
        const __m256i above = _mm256_cmpgt_epi32(k, _mm256_set1_epi32(static_cast<int32_t>(v) - 1));
        return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(above)));
    }
    static CPU_INLINE Mask keysDiffer(Keys a, Keys b) {
        const __m256i differ = _mm256_xor_si256(_mm256_cmpeq_epi32(a, b), _mm256_set1_epi32(-1));
        return {_mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(differ))),
                _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(differ, 1)))};
    }
    static CPU_INLINE uint32_t keyAt(Keys k, int g) {
        alignas(32) uint32_t key[width];
        _mm256_store_si256(reinterpret_cast<__m256i *>(key), k);
        return key[g];
    }
    static CPU_INLINE D maskZero(D src, Mask m) { return {H::maskZero(src.lo, m.lo), H::maskZero(src.hi, m.hi)}; }
    static CPU_INLINE D addOrFirst(D a, D b, Mask m) {
        return {H::addOrFirst(a.lo, b.lo, m.lo), H::addOrFirst(a.hi, b.hi, m.hi)};
    }
    static CPU_INLINE D addOrSecond(D a, D b, Mask m) {
        return {H::addOrSecond(a.lo, b.lo, m.lo), H::addOrSecond(a.hi, b.hi, m.hi)};
    }
    static CPU_INLINE Mask classIs(Classes k, int32_t c) { return {H::classIs(k.lo, c), H::classIs(k.hi, c)}; }
    static CPU_INLINE void storeClasses(int64_t *p, Classes k) {
        _mm256_store_si256(reinterpret_cast<__m256i *>(p), k.lo);
        _mm256_store_si256(reinterpret_cast<__m256i *>(p + 4), k.hi);
    }

    // The listed samples' weights and classes by list position, N of them,
    // as a vector of list positions fetches them: eight of each per
    // permutation within a register, blended by the register, the weights
    // widened after (a gather of each costs more).
    template <int N>
    struct Listed {
        __m256 weights[N / 8];
        __m256i classes[N / 8];

        template <class Samples>
        CPU_INLINE explicit Listed(const Samples &s) {
            for (int v = 0; v < N / 8; ++v) {
                weights[v] = _mm256_load_ps(s.w32 + 8 * v);
                classes[v] = _mm256_load_si256(reinterpret_cast<const __m256i *>(s.k32 + 8 * v));
            }
        }
        CPU_INLINE void fetch(Keys positions, D &w, Classes &k) const {
            __m256 w8 = _mm256_permutevar8x32_ps(weights[0], positions);
            __m256i k8 = _mm256_permutevar8x32_epi32(classes[0], positions);
            const __m256i group = _mm256_srli_epi32(positions, 3);
            for (int t = 1; t < N / 8; ++t) {
                const __m256i in = _mm256_cmpeq_epi32(group, _mm256_set1_epi32(t));
                w8 = _mm256_blendv_ps(w8, _mm256_permutevar8x32_ps(weights[t], positions), _mm256_castsi256_ps(in));
                k8 = _mm256_blendv_epi8(k8, _mm256_permutevar8x32_epi32(classes[t], positions), in);
            }
            w = {_mm256_cvtps_pd(_mm256_castps256_ps128(w8)), _mm256_cvtps_pd(_mm256_extractf128_ps(w8, 1))};
            k = {_mm256_cvtepi32_epi64(_mm256_castsi256_si128(k8)),
                 _mm256_cvtepi32_epi64(_mm256_extracti128_si256(k8, 1))};
        }
    };
    static CPU_INLINE Keys positionsOf(Keys k, uint32_t mask) {
        return _mm256_and_si256(k, _mm256_set1_epi32(static_cast<int32_t>(mask)));
    }
};

}  // namespace split::binned
