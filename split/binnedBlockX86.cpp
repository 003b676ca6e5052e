// The AVX-512 version of the binned scan's steps. With K <= 3 a sample's two
// additions (its bin over all classes and its bin of its class) sit in one
// four-lane row and are one masked vector addition; with more classes the
// shared row-layout steps are compiled here for the wider candidate blocks.
// Built with function attributes, so the rest of the module stays plain x86-64.
#include "binnedBlock.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include "binnedSteps.h"

namespace split::binned {

namespace {

// The lane layout's addition of one sample at bin b (see fillRun): lanes 0
// and 1 + k of the bin's row receive the weight, each lane as the scalar
// addition of binnedReference.h; the other lanes keep their bits. Not forced
// inline: the shared loop that calls it is plain x86-64 until it is
// flattened into an AVX-512 fill below.
struct LaneAddition {
    CPU_AVX512 static inline void add(double *lanes, uint32_t b, const PackedSample &sample) {
        double *row = lanes + laneWidth * b;
        __m256d v = _mm256_load_pd(row);
        v = _mm256_mask_add_pd(v, static_cast<__mmask8>(sample.key), v, _mm256_set1_pd(sample.weight));
        // Stored whole: GCC would otherwise store only the masked lanes, and
        // a masked store does not forward to the next load of the same row,
        // which makes runs of one bin several times slower.
        CPU_OPAQUE_VECTOR(v);
        _mm256_store_pd(row, v);
    }
};

// Bins 0..bins-1 of the lane table made cumulative lane by lane, each lane
// written into its row of the row-layout table that follows the lanes.
CPU_AVX512 CPU_INLINE double *cumulateLanes(const BinnedJob &job, int32_t bins, double *lanes) {
    double *table = rowTable(Layout::lanes, lanes);
    const int32_t rows = job.K + 1;
    const int64_t stride = job.stride;
    double sums[laneWidth];
    for (int32_t r = 0; r < rows; ++r) {
        sums[r] = lanes[r];
        table[r * stride] = sums[r];
    }
    for (int32_t t = 1; t < bins; ++t) {
        const double *row = lanes + laneWidth * t;
        for (int32_t r = 0; r < rows; ++r) {
            sums[r] = row[r] + sums[r];
            table[r * stride + t] = sums[r];
        }
    }
    return table;
}

CPU_AVX512 CPU_FLATTEN void fillLaneTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                                           double *const *tables, uint8_t *highestBin) {
    fillFeatures<LaneAddition>(job, count, columns, tables, highestBin);
}

CPU_AVX512 void finishLaneTables(const BinnedJob &job, TableBins bins, double *lanes, double *impurity, int32_t p,
                                 const SplitRows &rows) {
    const double *table = cumulateLanes(job, bins.count, lanes);
    candidateImpurities<8>(job, bins.count, table, impurity);
    recordBest(job, bins, impurity, p, rows);
}

CPU_AVX512 void fillRowTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                              double *const *tables, uint8_t *highestBin) {
    fillFeatures<RowAddition>(job, count, columns, tables, highestBin);
}

CPU_AVX512 void finishRowTables(const BinnedJob &job, TableBins bins, double *table, double *impurity, int32_t p,
                                const SplitRows &rows) {
    finishRows<8>(job, bins, table, impurity, p, rows);
}

CPU_AVX512 Fault scanOccupied(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                              const SplitRows &rows) {
    return scanOccupiedFeatures(job, scratch, begin, end, rows, finishRowTables);
}

}  // namespace

BinnedSteps avx512Steps(int32_t K) {
    if (K <= laneClasses) return {Layout::lanes, fillLaneTables, finishLaneTables, scanOccupied};
    return {Layout::rows, fillRowTables, finishRowTables, scanOccupied};
}

}  // namespace split::binned

#endif
