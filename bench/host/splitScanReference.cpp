// splitScan's entry linked with the plain reference loops
// (sweep/reference.h: the node totals and the sweep) in place of the fast
// ones, so that the benchmarks time both through the same entry. Each thread sweeps its static block of
// features with the reference's own per-feature tables. The team is the
// documented bound, min(the runtime's maximum, 4), whatever the work.
#include <vector>

#include "common/parallel.h"
#include "sweep/sweep.h"
#include "sweep/reference.h"

namespace split {

Fault nodeTotals(const SweepInput &in, double *classMass, NodeTotals &node) {
    return referenceNodeTotals(in, classMass, node);
}

int sweepTeam(int32_t, int32_t, int most) { return most < teamLimit ? most : teamLimit; }

// Only the threads' faults: the reference keeps its tables itself.
SweepScratch::SweepScratch(int32_t, int32_t, int team, bool) : faults(static_cast<size_t>(team > 0 ? team : 1)) {}

uint64_t SweepScratch::bytes(int32_t, int32_t K, int team, bool) {
    return static_cast<uint64_t>(team > 0 ? team : 1) * (2 * static_cast<uint64_t>(K > 0 ? K : 0) + 1) *
           sizeof(double);
}

Fault scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                         SweepScratch &scratch) {
    parallel::runTeam(team, [&](int thread, int threads) {
        const parallel::Range block = parallel::staticBlock(in.N, threads, thread);
        scratch.faults[thread] = referenceSweep(in, node, block.begin, block.end, out);
    });
    for (const Fault &fault : scratch.faults)
        if (fault.kind != Fault::Kind::none) return fault;
    return {};
}

}  // namespace split
