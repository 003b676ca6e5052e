// The AVX-512 lane operations of the binned scan's shared loops
// (impurityBounds.h, boundedPick.h, smallNode.h, laneTables.h): eight
// doubles per vector, masks in mask registers. Include only inside a
// CPU_AVX512_FUNCTIONS region, after <immintrin.h> and every other header.
#pragma once

namespace split::binned {

struct Avx512Lanes {
    static constexpr int width = 8;
    static constexpr bool smallNodes = true;
    using SmallNodeLanes = Avx512Lanes;
    // Side weights whose reciprocal estimate holds its accuracy.
    static constexpr double sideLow = 0x1p-1000, sideHigh = 0x1p1000;

    using D = __m512d;
    using Mask = __mmask8;

    static CPU_INLINE D zero() { return _mm512_setzero_pd(); }
    static CPU_INLINE D all(double a) { return _mm512_set1_pd(a); }
    static CPU_INLINE D load(const double *p) { return _mm512_load_pd(p); }
    static CPU_INLINE void store(double *p, D v) { _mm512_store_pd(p, v); }
    static CPU_INLINE D abs(D v) { return _mm512_abs_pd(v); }
    static CPU_INLINE D min(D a, D b) { return _mm512_maskz_min_pd(0xff, a, b); }
    static CPU_INLINE D max(D a, D b) { return _mm512_maskz_max_pd(0xff, a, b); }
    static CPU_INLINE Mask less(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static CPU_INLINE Mask atMost(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static CPU_INLINE Mask atLeast(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static CPU_INLINE Mask both(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    static CPU_INLINE uint32_t bits(Mask m) { return m; }
    static CPU_INLINE Mask fromBits(uint32_t b) { return static_cast<Mask>(b); }
    // Lanes of m: the lower of reach and v; others: reach. Neither is NaN
    // in the lanes of m.
    static CPU_INLINE D lowerTo(D reach, Mask m, D v) { return _mm512_mask_min_pd(reach, m, reach, v); }
    // The lower of reach and v; reach where v is NaN (vminpd gives its
    // second operand when either is NaN). reach is never NaN.
    static CPU_INLINE D lowerUnlessNaN(D reach, D v) { return _mm512_maskz_min_pd(0xff, v, reach); }
    // Relative error below 2^-14 for |x| in [sideLow, sideHigh].
    static CPU_INLINE D reciprocal(D x) { return _mm512_maskz_rcp14_pd(0xff, x); }
    // The lowest of the lanes, none NaN.
    static CPU_INLINE double lowest(D v) {
        const __m256d m4 =
            _mm256_min_pd(_mm512_maskz_extractf64x4_pd(0xf, v, 0), _mm512_maskz_extractf64x4_pd(0xf, v, 1));
        const __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(m4), _mm256_extractf128_pd(m4, 1));
        return _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
    }

    // The small-node scan's keys: one 32-bit key per lane.
    using Keys = __m256i;
    using Classes = __m512i;
    // Lane g: byte g of `bins` shifted up by `shift`, or'ed with `position`.
    static CPU_INLINE Keys keys(uint64_t bins, int shift, int32_t position) {
        const __m256i b = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(bins)));
        return _mm256_or_si256(_mm256_slli_epi32(b, shift), _mm256_set1_epi32(position));
    }
    static CPU_INLINE Keys allKeys(uint32_t k) { return _mm256_set1_epi32(static_cast<int32_t>(k)); }
    static CPU_INLINE Keys keysMin(Keys a, Keys b) { return _mm256_min_epu32(a, b); }
    static CPU_INLINE Keys keysMax(Keys a, Keys b) { return _mm256_max_epu32(a, b); }
    static CPU_INLINE Keys shiftDown(Keys k, int shift) { return _mm256_srli_epi32(k, shift); }
    static CPU_INLINE uint32_t keysAtLeast(Keys k, uint32_t v) {
        return _mm256_cmpge_epu32_mask(k, _mm256_set1_epi32(static_cast<int32_t>(v)));
    }
    static CPU_INLINE Mask keysDiffer(Keys a, Keys b) { return _mm256_cmpneq_epu32_mask(a, b); }
    static CPU_INLINE uint32_t keyAt(Keys k, int g) {
        alignas(32) uint32_t key[width];
        _mm256_store_si256(reinterpret_cast<__m256i *>(key), k);
        return key[g];
    }
    static CPU_INLINE D maskZero(D src, Mask m) { return _mm512_mask_mov_pd(src, m, _mm512_setzero_pd()); }
    // a + b in the lanes of m, a (b) in the others.
    static CPU_INLINE D addOrFirst(D a, D b, Mask m) { return _mm512_mask_add_pd(a, m, a, b); }
    static CPU_INLINE D addOrSecond(D a, D b, Mask m) { return _mm512_mask_add_pd(b, m, a, b); }
    static CPU_INLINE Mask classIs(Classes k, int32_t c) { return _mm512_cmpeq_epi64_mask(k, _mm512_set1_epi64(c)); }
    static CPU_INLINE void storeClasses(int64_t *p, Classes k) { _mm512_store_si512(p, k); }
    static CPU_INLINE Classes loadClasses(const int64_t *p) { return _mm512_load_si512(p); }
    // The classes' running sums take the whole vector (smallNode.h).
    using Part = Avx512Lanes;
    static constexpr int parts = 1;

    // The listed samples' weights and classes by list position, N of them,
    // as a vector of list positions fetches them: sixteen values per
    // two-table permutation, blended by the table.
    template <int N>
    struct Listed {
        __m512d weights[N / 8];
        __m512i classes[N / 8];

        template <class Samples>
        CPU_INLINE explicit Listed(const Samples &s) {
            for (int v = 0; v < N / 8; ++v) {
                weights[v] = _mm512_load_pd(s.w + 8 * v);
                classes[v] = _mm512_load_si512(s.k + 8 * v);
            }
        }
        CPU_INLINE void fetch(Keys positions32, D &w, Classes &k) const {
            const __m512i position = _mm512_maskz_cvtepu32_epi64(0xff, positions32);
            w = _mm512_permutex2var_pd(weights[0], position, weights[1]);
            k = _mm512_permutex2var_epi64(classes[0], position, classes[1]);
            for (int t = 1; t < N / 16; ++t) {
                const __mmask8 in =
                    _mm512_cmpeq_epi64_mask(_mm512_maskz_srli_epi64(0xff, position, 4), _mm512_set1_epi64(t));
                w = _mm512_mask_mov_pd(w, in, _mm512_permutex2var_pd(weights[2 * t], position, weights[2 * t + 1]));
                k = _mm512_mask_mov_epi64(k, in,
                                          _mm512_permutex2var_epi64(classes[2 * t], position, classes[2 * t + 1]));
            }
        }
    };
    static CPU_INLINE Keys positionsOf(Keys k, uint32_t mask) {
        return _mm256_and_si256(k, _mm256_set1_epi32(static_cast<int32_t>(mask)));
    }

    // The lane layout's addition of one sample at bin b (see fillRun): lanes
    // 0 and 1 + k of the bin's row receive the weight, each lane as the
    // scalar addition of the reference; the other lanes keep their bits.
    static CPU_INLINE void addToLanes(double *row, int64_t key, double weight) {
        __m256d v = _mm256_load_pd(row);
        v = _mm256_mask_add_pd(v, static_cast<__mmask8>(key), v, _mm256_set1_pd(weight));
        // Stored whole: GCC would otherwise store only the masked lanes, and
        // a masked store does not forward to the next load of the same row,
        // which would stall every run of samples in one bin.
        CPU_OPAQUE_VECTOR(v);
        _mm256_store_pd(row, v);
    }
};

}  // namespace split::binned
