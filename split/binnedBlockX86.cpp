// The AVX-512 build of the binned scan's steps. With K <= 3 a sample's two
// additions (its bin over all classes and its bin of its class) sit in one
// four-lane row and are one masked vector addition; with more classes the
// shared row-layout steps are compiled here for the wider candidate blocks.
// Built with function attributes, so the rest of the module stays plain x86-64.
#include "binnedBlock.h"

#ifdef SPLIT_BINNED_X86
#include <immintrin.h>

#include "binnedSteps.h"

#define SPLIT_AVX512 __attribute__((target("avx512f,avx512vl")))

namespace split::binned {

namespace {

// Lanes 0 and 1 + k of bin b's row receive w, each lane as the plain scan's
// scalar addition; the other lanes keep their bits.
SPLIT_AVX512 SPLIT_BINNED_INLINE void addToLanes(double *lanes, uint32_t b, __mmask8 mask, __m256d w) {
    double *row = lanes + laneWidth * b;
    __m256d v = _mm256_load_pd(row);
    v = _mm256_mask_add_pd(v, mask, v, w);
    // Stored whole: GCC would otherwise store only the masked lanes, and a
    // masked store does not forward to the next load of the same row, which
    // makes runs of one bin several times slower.
    __asm__("" : "+v"(v));
    _mm256_store_pd(row, v);
}

// Samples i .. i+count-1 of the list into the lane tables of G features,
// with the features' bins of these samples in a run.
// Works on local copies, as fillRowsRun does.
template <int G>
SPLIT_AVX512 SPLIT_BINNED_INLINE void fillLanesRun(const uint8_t *const *binsIn, const PackedSample *packed,
                                                   int32_t count, double *const *tIn, HighestBins<G> &highestInOut) {
    HighestBins<G> highest = highestInOut;
    const uint8_t *bins[G];
    double *t[G];
    for (int g = 0; g < G; ++g) {
        bins[g] = binsIn[g];
        t[g] = tIn[g];
    }
    int32_t i = 0;
    for (; count - i >= 8; i += 8) {
        uint64_t chunk[G];
        for (int g = 0; g < G; ++g) {
            chunk[g] = eightBins(bins[g] + i);
            highest.addEight(g, chunk[g]);
        }
#pragma GCC unroll 8
        for (int q = 0; q < 8; ++q) {
            const __m256d w = _mm256_set1_pd(packed[i + q].weight);
            const __mmask8 mask = static_cast<__mmask8>(packed[i + q].key);
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) addToLanes(t[g], binOf(chunk[g], q), mask, w);
        }
    }
    for (; i < count; ++i) {
        const __m256d w = _mm256_set1_pd(packed[i].weight);
        const __mmask8 mask = static_cast<__mmask8>(packed[i].key);
        for (int g = 0; g < G; ++g) {
            const uint32_t b = bins[g][i];
            highest.addOne(g, b);
            addToLanes(t[g], b, mask, w);
        }
    }
    highestInOut = highest;
}

template <int G>
SPLIT_AVX512 SPLIT_BINNED_INLINE void fillLanes(const BinnedJob &job, const uint8_t *const *columns,
                                                double *const *tables, uint8_t *highestBin) {
    double *t[G];
    for (int g = 0; g < G; ++g) t[g] = tables[g];
    HighestBins<G> highest;
    const uint8_t *bins[G];
    if (job.firstSample >= 0) {
        for (int g = 0; g < G; ++g) bins[g] = columns[g] + job.firstSample;
        fillLanesRun<G>(bins, job.packed, job.n, t, highest);
    } else {
        alignas(8) uint8_t staged[G][stagedSamples];
        for (int g = 0; g < G; ++g) bins[g] = staged[g];
        for (int32_t i0 = 0; i0 < job.n; i0 += stagedSamples) {
            const int32_t count = job.n - i0 < stagedSamples ? job.n - i0 : stagedSamples;
            stageBins<G>(job, columns, i0, count, staged);
            fillLanesRun<G>(bins, job.packed + i0, count, t, highest);
        }
    }
    highest.write(highestBin);
}

// Bins 0..B-1 of the lane table made cumulative lane by lane, each lane
// written into its row of the row-layout table that follows the lanes.
SPLIT_AVX512 SPLIT_BINNED_INLINE double *cumulateLanes(const BinnedJob &job, double *lanes) {
    double *table = rowTable(Layout::lanes, lanes);
    const int32_t rows = job.K + 1;
    const int64_t stride = job.stride;
    double sums[laneWidth];
    for (int32_t r = 0; r < rows; ++r) {
        sums[r] = lanes[r];
        table[r * stride] = sums[r];
    }
    for (int32_t t = 1; t < job.B; ++t) {
        const double *row = lanes + laneWidth * t;
        for (int32_t r = 0; r < rows; ++r) {
            sums[r] = row[r] + sums[r];
            table[r * stride + t] = sums[r];
        }
    }
    return table;
}

SPLIT_AVX512 void fillLaneTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                                 double *const *tables, uint8_t *highestBin) {
    if (count == featuresPerPass)
        fillLanes<featuresPerPass>(job, columns, tables, highestBin);
    else
        fillLanes<1>(job, columns, tables, highestBin);
}

SPLIT_AVX512 void finishLaneTables(const BinnedJob &job, double *lanes, double *impurity, int32_t p,
                                   const SplitRows &rows) {
    const double *table = cumulateLanes(job, lanes);
    candidateImpurities<8>(job, table, impurity);
    recordBest(job, impurity, p, rows);
}

SPLIT_AVX512 void fillRowTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                                double *const *tables, uint8_t *highestBin) {
    fillRowsFor(job, count, columns, tables, highestBin);
}

SPLIT_AVX512 void finishRowTables(const BinnedJob &job, double *table, double *impurity, int32_t p,
                                  const SplitRows &rows) {
    finishRows<8>(job, table, impurity, p, rows);
}

}  // namespace

BinnedSteps avx512Steps(int32_t K) {
    if (K <= laneClasses) return {Layout::lanes, fillLaneTables, finishLaneTables};
    return {Layout::rows, fillRowTables, finishRowTables};
}

}  // namespace split::binned

#endif
