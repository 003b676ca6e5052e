// The portable version of the binned scan's steps: the shared loops over the
// row layout, candidates two at a time (one SSE2 register on x86-64).
#include "binnedVersions.h"
#include "candidateScan.h"
#include "histogramFill.h"
#include "occupiedBinsScan.h"

namespace split::binned {

namespace {

constexpr int portableCandidateLanes = 2;

void fillPortable(const BinnedJob &job, int count, const uint8_t *const *columns, double *const *tables,
                  uint8_t *highestBin) {
    fillFeatures<RowAddition>(job, count, columns, tables, highestBin);
}

void finishPortable(const BinnedJob &job, TableBins bins, int count, double *const *tables, double *impurity,
                    int32_t p, const SplitRows &rows) {
    for (int g = 0; g < count; ++g) finishRows<portableCandidateLanes>(job, bins, tables[g], impurity, p + g, rows);
}

Fault scanOccupiedPortable(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                           const SplitRows &rows) {
    return scanOccupiedFeatures<RowAddition>(job, scratch, begin, end, rows, finishPortable);
}

}  // namespace

ScanVersion portableVersion() { return {Layout::rows, fillPortable, finishPortable, scanOccupiedPortable, 0}; }

}  // namespace split::binned
