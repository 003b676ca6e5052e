// The steps of a vector version of the binned scan (ScanVersion) over
// row-layout tables, and for x86-64 over lane-layout ones (K <= 3), written
// once for every instruction set: histograms from histogramFill.h, prefix
// sums from candidateScan.h, candidates bounded and picked (boundedPick.h),
// and small nodes scanned a vector of features at a time (smallNode.h)
// where L has that scan. `L` supplies the lane operations; include inside
// the region built for its instruction set, after the headers named here.
#pragma once

namespace split::binned {

template <class L>
struct RowSteps {
    static void fill(const BinnedJob &job, int count, const uint8_t *const *columns, double *const *tables,
                     uint8_t *highestBin) {
        fillFeatures<RowAddition>(job, count, columns, tables, highestBin);
    }

    static void finish(const BinnedJob &job, TableBins bins, int count, double *const *tables, double *impurity,
                       int32_t p, const SplitRows &rows) {
        for (int g = 0; g < count; ++g) {
            cumulateRows(job, bins.count, tables[g]);
            BoundedPick<L>::boundAndPick(job, bins, tables[g], impurity, p + g, rows);
        }
    }

    static constexpr int32_t smallNodes = L::smallNodes ? smallNodeLimit : 0;

    static Fault scanOccupied(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                              const SplitRows &rows) {
        if constexpr (smallNodes > 0)
            if (job.n <= smallNodes)
                return SmallNode<typename L::SmallNodeLanes>::scan(job, scratch, begin, end, rows);
        return scanOccupiedFeatures<RowAddition>(job, scratch, begin, end, rows, finish);
    }

    static ScanVersion version() { return {Layout::rows, fill, finish, scanOccupied, smallNodes}; }
};

}  // namespace split::binned
