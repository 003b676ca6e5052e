// splitScanBinned's entry linked with the plain reference loop
// (binned/reference.h) in place of the fast scan, so that the
// benchmarks time both through the same entry. The team is the documented
// one, min(threadLimit, the runtime's maximum), whatever the work.
#include <new>
#include <vector>

#include "binned/binnedScan.h"
#include "binned/reference.h"
#include "common/memory.h"

namespace split {

Fault binnedNodeTotals(BinnedJob &job) {
    std::vector<double> classMass(static_cast<size_t>(job.K), 0.0);
    binnedReference::nodeTotals(job, classMass.data());
    return {};
}

int binnedTeam(const BinnedJob &, int team) { return team; }

// The class table, and every thread's cdf and class histograms.
Fault binnedScratchCheck(const BinnedJob &job, int team) {
    const uint64_t histograms = (static_cast<uint64_t>(job.K) + 1) * binnedReference::scannedBins(job.B);
    const uint64_t bytes = (static_cast<uint64_t>(job.K) + histograms * static_cast<uint64_t>(team)) * sizeof(double);
    uint64_t available = 0;
    if (!memory::scratchFits(bytes, &available)) return Fault::outOfMemory(bytes, available);
    return {};
}

Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team) {
    return binnedReference::binnedScan(job, rows, team);
}

}  // namespace split
