// The steps of the binned scan that every build shares, as inline code that
// each build compiles for its own instruction set. Nothing here uses
// instructions beyond the x86-64 baseline.
#pragma once

#include <cstring>

#include "binnedBlock.h"
#include "gini.h"

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#define SPLIT_BINNED_INLINE inline __attribute__((always_inline))

namespace split::binned {

// The highest of the byte values seen, eight at a time.
struct HighestByte {
#if defined(__SSE2__) && defined(__x86_64__)
    __m128i bytes = _mm_setzero_si128();
    SPLIT_BINNED_INLINE void add(uint64_t chunk) {
        bytes = _mm_max_epu8(bytes, _mm_cvtsi64_si128(static_cast<int64_t>(chunk)));
    }
    SPLIT_BINNED_INLINE uint32_t value() const {
        __m128i m = _mm_max_epu8(bytes, _mm_srli_epi64(bytes, 32));
        m = _mm_max_epu8(m, _mm_srli_epi64(m, 16));
        m = _mm_max_epu8(m, _mm_srli_epi64(m, 8));
        return static_cast<uint32_t>(_mm_cvtsi128_si32(m)) & 0xffu;
    }
#else
    uint32_t highest = 0;
    SPLIT_BINNED_INLINE void add(uint64_t chunk) {
        for (int q = 0; q < 8; ++q) {
            const uint32_t b = static_cast<uint32_t>(chunk >> (8 * q)) & 0xffu;
            highest = b > highest ? b : highest;
        }
    }
    SPLIT_BINNED_INLINE uint32_t value() const { return highest; }
#endif
};

// Bin q of eight read as one little-endian 8-byte value.
SPLIT_BINNED_INLINE uint32_t binOf(uint64_t chunk, int q) { return static_cast<uint32_t>(chunk >> (8 * q)) & 0xffu; }

SPLIT_BINNED_INLINE uint64_t eightBins(const uint8_t *bins) {
    uint64_t chunk;
    std::memcpy(&chunk, bins, sizeof chunk);
    return chunk;
}

// One sample's two additions in the row layout.
SPLIT_BINNED_INLINE void addToRows(double *table, int64_t key, uint32_t b, double w) {
    table[b] = table[b] + w;
    double *classRow = table + key;
    classRow[b] = classRow[b] + w;
}

// The histograms of G features in the row layout.
template <int G>
SPLIT_BINNED_INLINE void fillRows(const BinnedJob &job, const uint8_t *const *columns, double *const *tables,
                                  uint8_t *highestBin) {
    const PackedSample *packed = job.packed;
    const int32_t n = job.n;
    double *t[G];
    for (int g = 0; g < G; ++g) t[g] = tables[g];
    uint32_t highest[G] = {};
    if (job.firstSample >= 0) {
        const uint8_t *bins[G];
        HighestByte chunkHighest[G];
        for (int g = 0; g < G; ++g) bins[g] = columns[g] + job.firstSample;
        int32_t i = 0;
        for (; n - i >= 8; i += 8) {
            uint64_t chunk[G];
            for (int g = 0; g < G; ++g) {
                chunk[g] = eightBins(bins[g] + i);
                chunkHighest[g].add(chunk[g]);
            }
            for (int q = 0; q < 8; ++q) {
                const double w = packed[i + q].weight;
                const int64_t key = packed[i + q].key;
                for (int g = 0; g < G; ++g) addToRows(t[g], key, binOf(chunk[g], q), w);
            }
        }
        for (int g = 0; g < G; ++g) highest[g] = chunkHighest[g].value();
        for (; i < n; ++i) {
            for (int g = 0; g < G; ++g) {
                const uint32_t b = bins[g][i];
                highest[g] = b > highest[g] ? b : highest[g];
                addToRows(t[g], packed[i].key, b, packed[i].weight);
            }
        }
    } else {
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t s = job.nodeSamples[i];
            const double w = packed[i].weight;
            const int64_t key = packed[i].key;
            for (int g = 0; g < G; ++g) {
                const uint32_t b = columns[g][s];
                highest[g] = b > highest[g] ? b : highest[g];
                addToRows(t[g], key, b, w);
            }
        }
    }
    for (int g = 0; g < G; ++g) highestBin[g] = static_cast<uint8_t>(highest[g]);
}

// Bins 0..B-1 of `C` rows made cumulative in place, the rows' chains of
// additions side by side.
template <int C>
SPLIT_BINNED_INLINE void cumulateRowBlock(double *row, int64_t stride, int32_t B) {
    double sum[C];
    for (int r = 0; r < C; ++r) sum[r] = row[r * stride];
    for (int32_t t = 1; t < B; ++t) {
        for (int r = 0; r < C; ++r) {
            sum[r] = row[r * stride + t] + sum[r];
            row[r * stride + t] = sum[r];
        }
    }
}

// Every row of a row-layout table made cumulative over bins 0..B-1.
SPLIT_BINNED_INLINE void cumulateRows(const BinnedJob &job, double *table) {
    const int64_t rows = static_cast<int64_t>(job.K) + 1;
    const int64_t stride = job.stride;
    int64_t r = 0;
    for (; rows - r >= 4; r += 4) cumulateRowBlock<4>(table + r * stride, stride, job.B);
    switch (rows - r) {
    case 3:
        cumulateRowBlock<3>(table + r * stride, stride, job.B);
        break;
    case 2:
        cumulateRowBlock<2>(table + r * stride, stride, job.B);
        break;
    case 1:
        cumulateRowBlock<1>(table + r * stride, stride, job.B);
        break;
    }
}

// Candidates are evaluated side by side, `L` at a time as one vector of
// doubles: 8 in the AVX-512 build, 2 (one SSE2 register) in the portable one;
// GCC splits wider vectors poorly where the registers are narrower.
// Lanes past the last candidate read zeroed bins and are never looked at.
constexpr int32_t maxCandidateLanes = 8;
template <int L>
struct CandidateLanes {
    // A typedef in a class: GCC drops vector_size from an alias template.
    typedef double type __attribute__((vector_size(L * sizeof(double))));
    static_assert(sizeof(type) == L * sizeof(double), "one lane per candidate");
};

// The impurity of every threshold j = 0 .. B-2 from cumulative row-layout
// histograms. Each lane does the plain scan's operations in its order: the
// class sums from +0.0 in class order of (c * m) * (c * m), then splitGini's
// (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W.
template <int L>
SPLIT_BINNED_INLINE void candidateImpurities(const BinnedJob &job, const double *table, double *impurity) {
    static_assert(L <= maxCandidateLanes, "bins are zeroed for blocks of up to maxCandidateLanes candidates");
    using Lanes = typename CandidateLanes<L>::type;
    const int32_t last = job.B - 1;
    const int64_t stride = job.stride;
    const double total = table[last];
    for (int32_t j0 = 0; j0 < last; j0 += L) {
        Lanes WL;
        std::memcpy(&WL, table + j0, sizeof WL);
        const Lanes WR = total - WL;
        Lanes SL = {};
        Lanes SR = {};
        for (int32_t k = 0; k < job.K; ++k) {
            const double c = job.classWeights[k];
            const double *h = table + (k + 1) * stride;
            Lanes mL;
            std::memcpy(&mL, h + j0, sizeof mL);
            const Lanes mR = h[last] - mL;
            SL = SL + (c * mL) * (c * mL);
            SR = SR + (c * mR) * (c * mR);
        }
        const Lanes I = (WL - SL / WL) / job.W + (WR - SR / WR) / job.W;
        std::memcpy(impurity + j0, &I, sizeof I);
    }
}

// The first strict improvement on G0 in bin order is what the plain scan's
// last write leaves: the lowest bin reaching the lowest impurity. NaN never
// compares below.
SPLIT_BINNED_INLINE void recordBest(const BinnedJob &job, const double *impurity, int32_t p, const SplitRows &rows) {
    double best = job.G0;
    int32_t bestBin = -1;
    for (int32_t j = 0; j + 1 < job.B; ++j) {
        if (best > impurity[j]) {
            best = impurity[j];
            bestBin = j;
        }
    }
    if (bestBin < 0) return;
    rows.impurity[p] = best;
    rows.gain[p] = job.G0 - best;
    rows.threshold[p] = static_cast<double>(bestBin);
}

SPLIT_BINNED_INLINE void fillRowsFor(const BinnedJob &job, int count, const uint8_t *const *columns,
                                     double *const *tables, uint8_t *highestBin) {
    if (count == featuresPerPass)
        fillRows<featuresPerPass>(job, columns, tables, highestBin);
    else
        fillRows<1>(job, columns, tables, highestBin);
}

template <int L>
SPLIT_BINNED_INLINE void finishRows(const BinnedJob &job, double *table, double *impurity, int32_t p,
                                    const SplitRows &rows) {
    cumulateRows(job, table);
    candidateImpurities<L>(job, table, impurity);
    recordBest(job, impurity, p, rows);
}

}  // namespace split::binned
