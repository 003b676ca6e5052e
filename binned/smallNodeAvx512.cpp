// The AVX-512 version's scan of nodes of at most smallNodeLimit samples,
// eight features at a time, one per vector lane. A node this small occupies
// few bins, and the per-feature steps of the other scans (ranks, tables,
// prefix sums, candidate blocks) would each handle a handful of values:
// here every step handles eight features at once. Per feature (lane), the
// listed samples are sorted by bin and then list position with a sorting
// network, the histograms are summed along that order (each bin's samples
// in list order from +0.0, each occupied bin's sum added to the prefix sums
// of the bins below it), and the candidates, one per occupied bin but the
// highest, are bounded and picked in bin order as in boundedPickAvx512.cpp.
// These are the reference's additions in its order, so the bits are its
// bits.
#include "binnedVersions.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include "candidateScan.h"
#include "impurityBoundsAvx512.h"

namespace split::binned {

namespace {

constexpr int lanes = smallNodeLanes;

// A sample's key: its bin above its list position, so that ascending keys
// list the samples by bin and, within a bin, in list order; positions past
// the list hold keys above every other.
constexpr int positionBits = 5;
static_assert(smallNodeLimit <= 1 << positionBits, "a list position fits below the bin");

// Batcher's odd-even merge sort of N keys (N a power of two) as a list of
// compare-exchanges, made at compile time so that the sort unrolls into
// straight vector code. What keeps the bits: a sorting network sorts every
// input, and the keys of one lane are distinct (no two samples share a list
// position), so its result is the one ascending order of the keys: by bin,
// and within a bin by list position, the order of the reference's
// additions into each bin.
template <int N>
struct SortingNetwork {
    static constexpr int count() {
        int c = 0;
        for (int p = 1; p < N; p *= 2)
            for (int k = p; k >= 1; k /= 2)
                for (int j = k % p; j + k < N; j += 2 * k)
                    for (int i = 0; i < k && i + j + k < N; ++i) c += (i + j) / (2 * p) == (i + j + k) / (2 * p);
        return c;
    }
    int low[count()] = {};
    int high[count()] = {};
    constexpr SortingNetwork() {
        int c = 0;
        for (int p = 1; p < N; p *= 2)
            for (int k = p; k >= 1; k /= 2)
                for (int j = k % p; j + k < N; j += 2 * k)
                    for (int i = 0; i < k && i + j + k < N; ++i)
                        if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) {
                            low[c] = i + j;
                            high[c] = i + j + k;
                            ++c;
                        }
    }
};

template <int N>
CPU_AVX512 CPU_INLINE void sortKeys(__m256i *keys) {
    static constexpr SortingNetwork<N> network;
    constexpr int comparators = SortingNetwork<N>::count();
    CPU_UNROLL(256)
    for (int c = 0; c < comparators; ++c) {
        const __m256i a = keys[network.low[c]], b = keys[network.high[c]];
        keys[network.low[c]] = _mm256_min_epu32(a, b);
        keys[network.high[c]] = _mm256_max_epu32(a, b);
    }
}

// The listed samples' weights and classes by list position, N of them (past
// the list: weight 0, class -1), as a vector of list positions fetches them.
template <int N>
struct ListedSamples {
    __m512d weights[N / 8];
    __m512i classes[N / 8];

    CPU_AVX512 CPU_INLINE ListedSamples(const BinnedJob &job) {
        alignas(64) double w[N];
        alignas(64) int64_t k[N];
        for (int i = 0; i < N; ++i) {
            const bool listed = i < job.n;
            const uint32_t s = listed ? job.nodeSamples[i] : 0;
            w[i] = listed ? static_cast<double>(job.weights[s]) : 0.0;
            k[i] = listed ? static_cast<int64_t>(job.labels[s]) - 1 : -1;
        }
        for (int v = 0; v < N / 8; ++v) {
            weights[v] = _mm512_load_pd(w + 8 * v);
            classes[v] = _mm512_load_si512(k + 8 * v);
        }
    }
    // The weight and class at each lane's position: sixteen values per
    // two-table permutation, blended by the table.
    CPU_AVX512 CPU_INLINE void fetch(__m512i position, __m512d &w, __m512i &k) const {
        w = _mm512_permutex2var_pd(weights[0], position, weights[1]);
        k = _mm512_permutex2var_epi64(classes[0], position, classes[1]);
        for (int t = 1; t < N / 16; ++t) {
            const __mmask8 in = _mm512_cmpeq_epi64_mask(_mm512_maskz_srli_epi64(0xff, position, 4), _mm512_set1_epi64(t));
            w = _mm512_mask_mov_pd(w, in, _mm512_permutex2var_pd(weights[2 * t], position, weights[2 * t + 1]));
            k = _mm512_mask_mov_epi64(k, in, _mm512_permutex2var_epi64(classes[2 * t], position, classes[2 * t + 1]));
        }
    }
};

// Each class's running sums along the sorted samples, of the current bin
// and of the bins up to it: in registers for KC classes, or, with KC = 0, K
// classes in scratch.
template <int KC>
struct ClassSums {
    __m512d bin[KC], below[KC];
    ClassSums(double *, int32_t) {}
    CPU_AVX512 CPU_INLINE __m512d &current(int32_t c) { return bin[c]; }
    CPU_AVX512 CPU_INLINE __m512d &upTo(int32_t c) { return below[c]; }
};

template <>
struct ClassSums<0> {
    __m512d *bin, *below;
    ClassSums(double *scratch, int32_t K) : bin(reinterpret_cast<__m512d *>(scratch)), below(bin + K) {}
    CPU_AVX512 CPU_INLINE __m512d &current(int32_t c) { return bin[c]; }
    CPU_AVX512 CPU_INLINE __m512d &upTo(int32_t c) { return below[c]; }
};

// A thread's scratch (smallNodeDoubles) for one group of up to eight
// features, one per lane, N sorted positions each.
template <int N>
struct GroupTables {
    static constexpr int64_t row = static_cast<int64_t>(N) * lanes;  // one histogram's sums
    double *cum;    // per sorted position: the sums up to its bin of K + 1 histograms
    double *sums;   // per candidate: W_L, W_R, S_L, S_R
    double *lower;  // per candidate: the lower bound of its impurity
    double *classSums;  // ClassSums<0>'s running sums

    GroupTables(double *scratch, int32_t K)
        : cum(scratch), sums(cum + (K + 1) * row), lower(sums + candidateSumRows * row), classSums(lower + row) {}
};

// Each lane's samples sorted by key: its bin above the list position. The
// keys are distinct, so the sort is total: within a bin the samples keep
// list order, and each bin's additions in cumulate are the reference's in
// its order, from +0.0. Positions past the list sort last. Returns the lanes
// of the group that hold a bin value of B or above (the highest bin of a
// lane is its last key's).
template <int N>
CPU_AVX512 CPU_INLINE __mmask8 sortSamples(const BinnedJob &job, const uint8_t *const *columns, int group,
                                           __m256i *keys) {
    const int32_t n = job.n;
    for (int32_t i = 0; i < n; ++i) {
        // A sample's eight bins gathered in a register (bytes stored one by
        // one would not forward to one load of all eight).
        const uint32_t s = job.nodeSamples[i];
        uint64_t eight = 0;
        for (int g = 0; g < lanes; ++g) eight |= static_cast<uint64_t>(columns[g][s]) << (8 * g);
        const __m256i b = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(eight)));
        keys[i] = _mm256_or_si256(_mm256_slli_epi32(b, positionBits), _mm256_set1_epi32(i));
    }
    for (int32_t i = n; i < N; ++i) keys[i] = _mm256_set1_epi32(-1);
    sortKeys<N>(keys);
    return static_cast<__mmask8>(
        _mm256_cmpge_epu32_mask(_mm256_srli_epi32(keys[n - 1], positionBits), _mm256_set1_epi32(job.B)) &
        ((1u << group) - 1u));
}

// Along the sorted samples: a bin's sums restart from +0.0 at its first
// sample and are added to the sums below it at its last. Notes in `ends`
// the lanes whose bin ends at each position (those with a candidate there);
// returns the total weight.
template <int N, int KC>
CPU_AVX512 CPU_INLINE __m512d cumulate(const BinnedJob &job, const ListedSamples<N> &listed, const __m256i *keys,
                                       const GroupTables<N> &t, ClassSums<KC> &classSums, __mmask8 *ends) {
    const int32_t n = job.n, K = KC > 0 ? KC : job.K;
    __m512d total = _mm512_setzero_pd(), totalBelow = _mm512_setzero_pd();
    for (int32_t c = 0; c < K; ++c) {
        classSums.current(c) = _mm512_setzero_pd();
        classSums.upTo(c) = _mm512_setzero_pd();
    }
    __m256i b = _mm256_srli_epi32(keys[0], positionBits);
    __m256i before = _mm256_set1_epi32(-1);  // above every bin
    for (int32_t q = 0; q < n; ++q) {
        const __m256i after = q + 1 < n ? _mm256_srli_epi32(keys[q + 1], positionBits) : _mm256_set1_epi32(-1);
        const __m512i position =
            _mm512_maskz_cvtepu32_epi64(0xff, _mm256_and_si256(keys[q], _mm256_set1_epi32((1 << positionBits) - 1)));
        __m512d w;
        __m512i k;
        listed.fetch(position, w, k);
        const __mmask8 first = _mm256_cmpneq_epu32_mask(b, before);
        const __mmask8 last = _mm256_cmpneq_epu32_mask(b, after);
        ends[q] = last;
        total = _mm512_add_pd(_mm512_mask_mov_pd(total, first, _mm512_setzero_pd()), w);
        totalBelow = _mm512_mask_add_pd(totalBelow, last, total, totalBelow);
        _mm512_store_pd(t.cum + q * lanes, totalBelow);
        for (int32_t c = 0; c < K; ++c) {
            __m512d &h = classSums.current(c);
            __m512d &m = classSums.upTo(c);
            h = _mm512_mask_mov_pd(h, first, _mm512_setzero_pd());
            h = _mm512_mask_add_pd(h, _mm512_cmpeq_epi64_mask(k, _mm512_set1_epi64(c)), h, w);
            m = _mm512_mask_add_pd(m, last, h, m);
            _mm512_store_pd(t.cum + (c + 1) * t.row + q * lanes, m);
        }
        before = b;
        b = after;
    }
    return totalBelow;
}

// A candidate at every occupied bin but the highest: its sums, kept for
// pick, and the bounds of its impurity (impurityBoundsAvx512.h). Notes the
// untamed lanes of each position; returns each lane's reach.
template <int N, int KC>
CPU_AVX512 CPU_INLINE __m512d bound(const BinnedJob &job, const GroupTables<N> &t, __m512d totalBelow,
                                    ClassSums<KC> &classSums, const __mmask8 *ends, __mmask8 *untamed) {
    const int32_t K = KC > 0 ? KC : job.K;
    const __m512d iW = _mm512_set1_pd(1.0 / job.W);
    BoundsPass pass;
    for (int32_t q = 0; q + 1 < job.n; ++q) {
        CandidateSums s;
        s.WL = _mm512_load_pd(t.cum + q * lanes);
        s.WR = _mm512_sub_pd(totalBelow, s.WL);
        s.SL = _mm512_setzero_pd();
        s.SR = _mm512_setzero_pd();
        for (int32_t c = 0; c < K; ++c)
            addClassTerms(_mm512_set1_pd(job.classWeights[c]), _mm512_load_pd(t.cum + (c + 1) * t.row + q * lanes),
                          classSums.upTo(c), s.SL, s.SR);
        double *at = t.sums + candidateSumRows * q * lanes;
        _mm512_store_pd(at, s.WL);
        _mm512_store_pd(at + lanes, s.WR);
        _mm512_store_pd(at + 2 * lanes, s.SL);
        _mm512_store_pd(at + 3 * lanes, s.SR);
        const ImpurityBounds i = impurityBounds<false>(s, iW, ends[q]);
        _mm512_store_pd(t.lower + q * lanes, i.lower);
        untamed[q] = pass.add(i, ends[q]);
    }
    return pass.reach;
}

// The exact impurity of the candidates that can hold the lowest, in bin
// order, into each lane's best.
template <int N>
CPU_AVX512 CPU_INLINE void pick(const BinnedJob &job, const GroupTables<N> &t, __m512d reach, const __mmask8 *ends,
                                const __mmask8 *untamed, BestSplit *best) {
    const __m512d g0 = _mm512_set1_pd(job.G0);
    for (int32_t q = 0; q + 1 < job.n; ++q) {
        const double *at = t.sums + candidateSumRows * q * lanes;
        for (uint32_t kept = lanesToEvaluate(_mm512_load_pd(t.lower + q * lanes), g0, reach, ends[q], untamed[q]);
             kept != 0; kept &= kept - 1) {
            const int g = cpu::countTrailingZeros(kept);
            double I;
            splitImpurity(at[g], at[2 * lanes + g], at[lanes + g], at[3 * lanes + g], job.W, I);
            best[g].offer(I, q);
        }
    }
}

// Each lane's best at its position, for the first `written` lanes.
CPU_AVX512 CPU_INLINE void writeBest(const BinnedJob &job, const __m256i *keys, const BestSplit *best, int64_t p0,
                                     int written, const SplitRows &rows) {
    for (int g = 0; g < written; ++g) {
        if (best[g].at < 0) continue;
        alignas(32) uint32_t key[lanes];
        _mm256_store_si256(reinterpret_cast<__m256i *>(key), keys[best[g].at]);
        best[g].write(job, p0 + g, key[g] >> positionBits, rows);
    }
}

template <int N, int KC>
CPU_AVX512 Fault scanGroups(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                            const SplitRows &rows) {
    const GroupTables<N> t(scratch, job.K);
    ClassSums<KC> classSums(t.classSums, job.K);
    const ListedSamples<N> listed(job);
    const bool candidates = job.n > 1 && job.G0 == job.G0;
    for (int64_t p0 = begin; p0 < end; p0 += lanes) {
        const int group = static_cast<int>(end - p0 < lanes ? end - p0 : lanes);
        // Lanes past the group scan the group's first feature again, unwritten.
        const uint8_t *columns[lanes];
        for (int g = 0; g < lanes; ++g)
            columns[g] = job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p0 + (g < group ? g : 0)];
        __m256i keys[N];
        const __mmask8 faulty = sortSamples<N>(job, columns, group, keys);
        const int written = faulty ? cpu::countTrailingZeros(faulty) : group;
        __mmask8 ends[N];
        const __m512d totalBelow = cumulate(job, listed, keys, t, classSums, ends);
        BestSplit best[lanes];
        for (BestSplit &b : best) b = BestSplit(job.G0);
        if (candidates) {
            __mmask8 untamed[N];
            const __m512d reach = bound(job, t, totalBelow, classSums, ends, untamed);
            pick(job, t, reach, ends, untamed, best);
        }
        writeBest(job, keys, best, p0, written, rows);
        if (faulty) return Fault::binOutOfRange(p0 + written, firstBinAtOrAbove(job, columns[written]));
    }
    return {};
}

}  // namespace

CPU_AVX512 Fault scanSmallNode(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                               const SplitRows &rows) {
    // Two and three classes have their running sums in registers.
    if (job.n <= 16) {
        if (job.K == 2) return scanGroups<16, 2>(job, scratch, begin, end, rows);
        if (job.K == 3) return scanGroups<16, 3>(job, scratch, begin, end, rows);
        return scanGroups<16, 0>(job, scratch, begin, end, rows);
    }
    if (job.K == 2) return scanGroups<smallNodeLimit, 2>(job, scratch, begin, end, rows);
    if (job.K == 3) return scanGroups<smallNodeLimit, 3>(job, scratch, begin, end, rows);
    return scanGroups<smallNodeLimit, 0>(job, scratch, begin, end, rows);
}

}  // namespace split::binned

#endif
