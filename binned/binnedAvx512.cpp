// The AVX-512 version of the binned scan's steps. With K <= 3 a sample's two
// additions (its bin over all classes and its bin of its class) sit in one
// four-lane row and are one masked vector addition; with more classes the
// shared row-layout steps are compiled here for the wider candidate blocks.
// Built with function attributes, so the rest of the module stays plain x86-64.
#include "binnedVersions.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include "candidateScan.h"
#include "histogramFill.h"
#include "occupiedBinsScan.h"

namespace split::binned {

namespace {

// The lane layout's addition of one sample at bin b (see fillRun): lanes 0
// and 1 + k of the bin's row receive the weight, each lane as the scalar
// addition of the reference; the other lanes keep their bits. Not forced
// inline: the shared loop that calls it is plain x86-64 until it is
// flattened into an AVX-512 fill below.
struct LaneAddition {
    CPU_AVX512 static inline void add(double *lanes, uint32_t b, const PackedSample &sample) {
        double *row = lanes + laneWidth * b;
        __m256d v = _mm256_load_pd(row);
        v = _mm256_mask_add_pd(v, static_cast<__mmask8>(sample.key), v, _mm256_set1_pd(sample.weight));
        // Stored whole: GCC would otherwise store only the masked lanes, and
        // a masked store does not forward to the next load of the same row,
        // which would stall every run of samples in one bin.
        CPU_OPAQUE_VECTOR(v);
        _mm256_store_pd(row, v);
    }
};

// Bins 0..bins-1 of the lane tables of `count` features made cumulative
// lane by lane, each lane written into its row of the row-layout table that
// follows the lanes. A bin's four lanes are one vector addition, each lane
// the reference's addition of the bin to the sum below it (bin 0 adds
// +0.0, which leaves every value a histogram can hold as it is); the
// features' chains of additions run side by side.
CPU_AVX512 CPU_INLINE void cumulateLanes(const BinnedJob &job, int32_t bins, int count, double *const *lanes) {
    const int64_t stride = job.stride;
    const bool fourRows = job.K + 1 == laneWidth;
    const bool threeRows = job.K + 1 >= 3;
    const bool twoRows = job.K + 1 >= 2;
    __m256d sums[featuresPerPass];
    double *tables[featuresPerPass];
    for (int g = 0; g < count; ++g) {
        sums[g] = _mm256_setzero_pd();
        tables[g] = rowTable(Layout::lanes, lanes[g]);
    }
    for (int32_t t = 0; t < bins; ++t) {
        for (int g = 0; g < count; ++g) {
            sums[g] = _mm256_add_pd(_mm256_load_pd(lanes[g] + laneWidth * t), sums[g]);
            const __m128d low = _mm256_castpd256_pd128(sums[g]);
            const __m128d high = _mm256_extractf128_pd(sums[g], 1);
            double *bin = tables[g] + t;
            _mm_storel_pd(bin, low);
            if (twoRows) _mm_storeh_pd(bin + stride, low);
            if (threeRows) _mm_storel_pd(bin + 2 * stride, high);
            if (fourRows) _mm_storeh_pd(bin + 3 * stride, high);
        }
    }
}

CPU_AVX512 CPU_FLATTEN void fillLaneTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                                           double *const *tables, uint8_t *highestBin) {
    fillFeatures<LaneAddition>(job, count, columns, tables, highestBin);
}

CPU_AVX512 void finishLaneTables(const BinnedJob &job, TableBins bins, int count, double *const *lanes,
                                 double *impurity, int32_t p, const SplitRows &rows) {
    if (count == featuresPerPass)
        cumulateLanes(job, bins.count, featuresPerPass, lanes);
    else
        cumulateLanes(job, bins.count, 1, lanes);
    for (int g = 0; g < count; ++g) boundAndPick(job, bins, rowTable(Layout::lanes, lanes[g]), impurity, p + g, rows);
}

CPU_AVX512 void fillRowTables(const BinnedJob &job, int count, const uint8_t *const *columns,
                              double *const *tables, uint8_t *highestBin) {
    fillFeatures<RowAddition>(job, count, columns, tables, highestBin);
}

CPU_AVX512 void finishRowTables(const BinnedJob &job, TableBins bins, int count, double *const *tables,
                                double *impurity, int32_t p, const SplitRows &rows) {
    for (int g = 0; g < count; ++g) {
        cumulateRows(job, bins.count, tables[g]);
        boundAndPick(job, bins, tables[g], impurity, p + g, rows);
    }
}

CPU_AVX512 CPU_FLATTEN Fault scanOccupiedLanes(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                                               const SplitRows &rows) {
    if (job.n <= smallNodeLimit) return scanSmallNode(job, scratch, begin, end, rows);
    return scanOccupiedFeatures<LaneAddition>(job, scratch, begin, end, rows, finishLaneTables);
}

CPU_AVX512 Fault scanOccupiedRows(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                                  const SplitRows &rows) {
    if (job.n <= smallNodeLimit) return scanSmallNode(job, scratch, begin, end, rows);
    return scanOccupiedFeatures<RowAddition>(job, scratch, begin, end, rows, finishRowTables);
}

}  // namespace

ScanVersion avx512Version(int32_t K) {
    if (K <= laneClasses) return {Layout::lanes, fillLaneTables, finishLaneTables, scanOccupiedLanes};
    return {Layout::rows, fillRowTables, finishRowTables, scanOccupiedRows};
}

}  // namespace split::binned

#endif
