// The steps of an x86-64 vector version of the binned scan over lane-layout
// tables (K <= 3, binnedTables.h): a sample's two additions (its bin over all
// classes and its bin of its class) sit in one four-lane row and are one
// vector addition (L::addToLanes). Include inside the region built for the
// instruction set, after vectorSteps.h.
#pragma once

namespace split::binned {

template <class L>
struct LaneSteps {
    // The lane layout's addition of one sample at bin b (see fillRun). Not
    // forced inline: the shared loop that calls it is plain x86-64 until it
    // is flattened into the fill and scan below.
    struct LaneAddition {
        static inline void add(double *lanes, uint32_t b, const PackedSample &sample) {
            L::addToLanes(lanes + laneWidth * b, sample.key, sample.weight);
        }
    };

    // Bins 0..bins-1 of the lane tables of `count` features made cumulative
    // lane by lane, each lane written into its row of the row-layout table
    // that follows the lanes. A bin's four lanes are one vector addition,
    // each lane the reference's addition of the bin to the sum below it (bin
    // 0 adds +0.0, which leaves every value a histogram can hold as it is);
    // the features' chains of additions run side by side.
    static CPU_INLINE void cumulateLanes(const BinnedJob &job, int32_t bins, int count, double *const *lanes) {
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

    static CPU_FLATTEN void fill(const BinnedJob &job, int count, const uint8_t *const *columns,
                                 double *const *tables, uint8_t *highestBin) {
        fillFeatures<LaneAddition>(job, count, columns, tables, highestBin);
    }

    static void finish(const BinnedJob &job, TableBins bins, int count, double *const *lanes, double *impurity,
                       int32_t p, const SplitRows &rows) {
        if (count == featuresPerPass)
            cumulateLanes(job, bins.count, featuresPerPass, lanes);
        else
            cumulateLanes(job, bins.count, 1, lanes);
        for (int g = 0; g < count; ++g)
            BoundedPick<L>::boundAndPick(job, bins, rowTable(Layout::lanes, lanes[g]), impurity, p + g, rows);
    }

    static constexpr int32_t smallNodes = smallNodeLimit;

    static CPU_FLATTEN Fault scanOccupied(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                                          const SplitRows &rows) {
        if (job.n <= smallNodes) return SmallNode<typename L::SmallNodeLanes>::scan(job, scratch, begin, end, rows);
        return scanOccupiedFeatures<LaneAddition>(job, scratch, begin, end, rows, finish);
    }

    static ScanVersion version() { return {Layout::lanes, fill, finish, scanOccupied, smallNodes}; }
};

}  // namespace split::binned
