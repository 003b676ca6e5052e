#include "binnedScan.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "binnedBlock.h"
#include "binnedReference.h"
#include "gateway/memory.h"
#include "gateway/parallel.h"

namespace split {

namespace {

// What a scan on `team` threads allocates: the packed samples, shared, and
// every thread's tables, with a cache line more to align them.
struct ScratchPlan {
    binned::BinnedSteps steps;
    int team;
    size_t perThread;
    uint64_t tableDoubles;
    uint64_t bytes;
};

ScratchPlan planScratch(cpu::Isa isa, const BinnedJob &job, int team) {
    ScratchPlan plan;
    plan.steps = binned::stepsFor(isa, job.K);
    // More threads than features would only hold idle scratch.
    plan.team = std::clamp(team, 1, std::max(job.F, 1));
    plan.perThread = binned::threadDoubles(plan.steps.layout, job.K, binnedReference::scannedBins(job.B));
    plan.tableDoubles = static_cast<uint64_t>(plan.perThread) * static_cast<uint64_t>(plan.team) + 8;
    plan.bytes = static_cast<uint64_t>(job.n) * sizeof(binned::PackedSample) + plan.tableDoubles * sizeof(double);
    return plan;
}

}  // namespace

uint64_t binnedScratchBytes(const BinnedJob &job, int team) {
    return static_cast<uint64_t>(job.K) * sizeof(double) + planScratch(cpu::fastest(binnedVersions), job, team).bytes;
}

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
    const ScratchPlan plan = planScratch(isa, in, team);
    const binned::BinnedSteps &steps = plan.steps;
    const size_t perThread = plan.perThread;
    team = plan.team;
    uint64_t available = 0;
    if (!memory::scratchFits(plan.bytes, &available)) return {Fault::outOfMemory, -1, -1, plan.bytes, available};
    const Fault noMemory{Fault::outOfMemory, -1, -1, plan.bytes, 0};
    // The packed samples are written before they are read: not zero-filled,
    // which would take as long as packing them.
    std::unique_ptr<binned::PackedSample[]> packed;
    std::vector<double> tables;
    std::vector<Fault> faults;
    try {
        packed.reset(new binned::PackedSample[static_cast<size_t>(job.n)]);
        tables.resize(static_cast<size_t>(plan.tableDoubles));
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
