#include "binnedScan.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "binnedBlock.h"
#include "binnedReference.h"
#include "gateway/parallel.h"

namespace split {

namespace {

// Refuses scratch beyond the machine's memory up front: the histograms are
// zero-filled at once, and an overcommitted request would be killed while
// touching its pages rather than fail to allocate.
uint64_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

}  // namespace

Fault binnedNodeTotals(BinnedJob &job) {
    std::vector<double> classMass;
    try {
        classMass.assign(static_cast<size_t>(job.K), 0.0);
    } catch (const std::bad_alloc &) {
        return {Fault::outOfMemory, -1, -1, static_cast<uint64_t>(job.K) * sizeof(double)};
    }
    binnedReference::nodeTotals(job, classMass.data());
    return {};
}

Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team) {
    return binnedScanWith(cpu::fastest(binnedVersions), job, rows, team);
}

Fault binnedScanWith(cpu::Isa isa, const BinnedJob &in, const SplitRows &rows, int team) {
    // Without samples every side weighs 0 and no threshold can be recorded.
    if (in.n <= 0 || in.F <= 0) return {};

    BinnedJob job = in;
    job.B = binnedReference::scannedBins(in.B);
    // More threads than features would only hold idle scratch.
    team = std::clamp(team, 1, in.F);
    const binned::BinnedSteps steps = binned::stepsFor(isa, in.K);

    // The packed samples, shared, and every thread's tables; a cache line
    // more to align them.
    const size_t perThread = binned::threadDoubles(steps.layout, job.K, job.B);
    const uint64_t tableDoubles = static_cast<uint64_t>(perThread) * static_cast<uint64_t>(team) + 8;
    const uint64_t bytes =
        static_cast<uint64_t>(job.n) * sizeof(binned::PackedSample) + tableDoubles * sizeof(double);
    const Fault noMemory{Fault::outOfMemory, -1, -1, bytes};
    if (bytes > physicalMemoryBytes()) return noMemory;
    // The packed samples are written before they are read: not zero-filled,
    // which would take as long as packing them.
    std::unique_ptr<binned::PackedSample[]> packed;
    std::vector<double> tables;
    std::vector<Fault> faults;
    try {
        packed.reset(new binned::PackedSample[static_cast<size_t>(job.n)]);
        tables.resize(static_cast<size_t>(tableDoubles));
        faults.resize(static_cast<size_t>(team));
    } catch (const std::bad_alloc &) {
        return noMemory;
    }
    double *scratch = binned::alignedScratch(tables.data());
    binned::prepareJob(job, steps.layout, packed.get());

    parallel::runTeam(team, [&](int thread, int threads) {
        const parallel::Range block = parallel::staticBlock(job.F, threads, thread);
        faults[thread] = binned::scanBlock(steps, job, scratch + static_cast<size_t>(thread) * perThread,
                                           block.begin, block.end, rows);
    });

    // Each block stops at its first fault; the first fault of the lowest
    // block that has one is the lowest overall.
    for (const Fault &fault : faults)
        if (fault.kind != Fault::none) return fault;
    return {};
}

}  // namespace split
