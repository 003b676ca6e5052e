// The scan of a block of features over all-bin tables, which every version
// runs with its own fill and finish steps.
#include <algorithm>

#include "binnedVersions.h"

namespace split::binned {

namespace {

// Histograms start from +0.0. Lane tables are read only for bins below B;
// every bin of the row tables is zeroed, since whole blocks of candidates
// read them.
void clearTables(const BinnedJob &job, double *table) {
    const size_t doubles = job.layout == Layout::lanes ? static_cast<size_t>(laneWidth) * job.B
                                                       : (static_cast<size_t>(job.K) + 1) * job.stride;
    std::fill(table, table + doubles, 0.0);
}

// The row tables that lane tables are turned into receive bins 0..B-1 only;
// the bins past them, which the last block of candidates reads, are zeroed
// once.
void clearRowTails(const BinnedJob &job, double *tables) {
    double *table = rowTable(Layout::lanes, tables);
    for (int32_t r = 0; r <= job.K; ++r)
        std::fill(table + static_cast<int64_t>(r) * job.stride + job.B, table + static_cast<int64_t>(r + 1) * job.stride,
                  0.0);
}

}  // namespace

Fault scanAllBins(const ScanVersion &version, const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                  const SplitRows &rows) {
    const size_t slot = featureDoubles(job.layout, job.K, job.B);
    double *tables[featuresPerPass];
    for (int g = 0; g < featuresPerPass; ++g) tables[g] = scratch + g * slot;
    double *impurity = scratch + featuresPerPass * slot;
    if (job.layout == Layout::lanes)
        for (double *t : tables) clearRowTails(job, t);

    for (int64_t p = begin; p < end; p += featuresPerPass) {
        const int count = static_cast<int>(std::min<int64_t>(featuresPerPass, end - p));
        const uint8_t *columns[featuresPerPass];
        for (int g = 0; g < count; ++g) {
            columns[g] = job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p + g];
            clearTables(job, tables[g]);
        }
        uint8_t highestBin[featuresPerPass];
        version.fill(job, count, columns, tables, highestBin);
        // The features before one with a bin value of B or above are scanned.
        int scanned = 0;
        while (scanned < count && highestBin[scanned] < job.B) ++scanned;
        version.finish(job, {job.B, nullptr}, scanned, tables, impurity, static_cast<int32_t>(p), rows);
        if (scanned < count)
            return Fault::binOutOfRange(p + scanned, firstBinAtOrAbove(job, columns[scanned]));
    }
    return {};
}

}  // namespace split::binned
