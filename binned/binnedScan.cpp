#include "binnedScan.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "binnedBlock.h"
#include "reference.h"
#include "common/memory.h"
#include "common/parallel.h"

namespace split {

namespace {

// Tables of up to this many doubles (32 KiB) live on the calling thread's
// stack.
constexpr uint64_t stackTableDoubles = 4096;

// What a scan on `team` threads allocates: the packed samples, shared, and
// every thread's tables, with a cache line more to align them.
struct ScratchPlan {
    binned::BinnedSteps steps;
    binned::Layout layout;
    int32_t tableBins;  // bins of a table row
    int team;
    size_t perThread;
    uint64_t tableDoubles;
    uint64_t bytes;
};

// Occupied-bin tables need lists short enough to rank in one block.
BinnedTables tablesFor(BinnedTables tables, const BinnedJob &job) {
    return job.n <= occupiedBinsLimit ? tables : BinnedTables::allBins;
}

ScratchPlan planScratch(cpu::Isa isa, BinnedTables tables, const BinnedJob &job, int team) {
    ScratchPlan plan;
    plan.steps = binned::stepsFor(isa, job.K);
    // More threads than features would only hold idle scratch.
    plan.team = std::clamp(team, 1, std::max(job.F, 1));
    plan.layout = plan.steps.layout;
    if (tablesFor(tables, job) == BinnedTables::occupiedBins) {
        plan.tableBins = binned::occupiedCapacity(job.n);
        plan.perThread = binned::occupiedThreadDoubles(plan.layout, job.K, job.n);
    } else {
        plan.tableBins = binnedReference::scannedBins(job.B);
        plan.perThread = binned::threadDoubles(plan.layout, job.K, plan.tableBins);
    }
    plan.tableDoubles = static_cast<uint64_t>(plan.perThread) * static_cast<uint64_t>(plan.team) + 8;
    plan.bytes = static_cast<uint64_t>(job.n) * sizeof(binned::PackedSample) + plan.tableDoubles * sizeof(double);
    return plan;
}

}  // namespace

// Measured on 32 features with K = 2, 3 and 10 (AVX-512): occupied-bin
// tables cost more per sample (each sample's bin is ranked before it is
// added) and less per feature (nothing grows with B). All-bin tables take
// over at about B samples (B = 16: 14 to 22, B = 64: 50 to 80), beyond 256
// where B is 256; within 1 us of the faster kind at the cut.
BinnedTables binnedTablesFor(const BinnedJob &job) {
    return job.n <= std::min(binnedReference::scannedBins(job.B), occupiedBinsLimit) ? BinnedTables::occupiedBins
                                                                                     : BinnedTables::allBins;
}

// Threads only where they pay. Through the stand-in host on a 2-core x86-64
// machine, calls back to back, a team of two first gained on one thread at
// 1000 to 1500 sample-features (listed samples times listed features), by
// 25 % at 2048; below 1000 it lost, by up to 1.8 us. So every thread of a
// team gets at least teamWork sample-features, and the team grows by one
// thread per teamWork: 2 threads from 2048, 4 from 4096, within `team`.
constexpr int64_t teamWork = 1024;

int binnedTeam(const BinnedJob &job, int team) {
    const int64_t work = static_cast<int64_t>(std::max(job.n, 0)) * std::max(job.F, 0);
    return static_cast<int>(std::clamp<int64_t>(work / teamWork, 1, std::max(team, 1)));
}

uint64_t binnedScratchBytes(const BinnedJob &job, int team) {
    return static_cast<uint64_t>(job.K) * sizeof(double) +
           planScratch(cpu::fastest(binnedVersions), binnedTablesFor(job), job, team).bytes;
}

Fault binnedNodeTotals(BinnedJob &job) {
    // Up to 16 classes' table on the stack (see binnedScanWith).
    double few[16] = {};
    std::vector<double> many;
    if (job.K > 16) {
        try {
            many.assign(static_cast<size_t>(job.K), 0.0);
        } catch (const std::bad_alloc &) {
            return Fault::outOfMemory(static_cast<uint64_t>(job.K) * sizeof(double));
        }
    }
    binnedReference::nodeTotals(job, job.K > 16 ? many.data() : few);
    return {};
}

Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team) {
    return binnedScanWith(cpu::fastest(binnedVersions), binnedTablesFor(job), job, rows, team);
}

Fault binnedScanWith(cpu::Isa isa, BinnedTables tables, const BinnedJob &in, const SplitRows &rows, int team) {
    // Without samples every side weighs 0 and no threshold can be recorded.
    if (in.n <= 0 || in.F <= 0) return {};

    BinnedJob job = in;
    job.B = binnedReference::scannedBins(in.B);
    const ScratchPlan plan = planScratch(isa, tables, in, team);
    const bool occupied = tablesFor(tables, in) == BinnedTables::occupiedBins;
    const size_t perThread = plan.perThread;
    team = plan.team;
    uint64_t available = 0;
    if (!memory::scratchFits(plan.bytes, &available)) return Fault::outOfMemory(plan.bytes, available);
    const Fault noMemory = Fault::outOfMemory(plan.bytes);
    // Nothing is zero-filled here: the packed samples are written before
    // they are read, and every table is cleared where a feature reads it.
    // Small calls keep their scratch on the stack: for them an allocation
    // of this size costs more than a tenth of the call (glibc tidies its
    // small free blocks before every large allocation).
    binned::PackedSample packedHere[occupiedBinsLimit];
    double tablesHere[stackTableDoubles];
    Fault faultHere;
    std::unique_ptr<binned::PackedSample[]> packedHeap;
    std::unique_ptr<double[]> tablesHeap;
    std::vector<Fault> faultsHeap;
    try {
        if (job.n > occupiedBinsLimit) packedHeap.reset(new binned::PackedSample[static_cast<size_t>(job.n)]);
        if (plan.tableDoubles > stackTableDoubles) tablesHeap.reset(new double[static_cast<size_t>(plan.tableDoubles)]);
        if (team > 1) faultsHeap.resize(static_cast<size_t>(team));
    } catch (const std::bad_alloc &) {
        return noMemory;
    }
    binned::PackedSample *packed = packedHeap ? packedHeap.get() : packedHere;
    double *scratch = binned::alignedScratch(tablesHeap ? tablesHeap.get() : tablesHere);
    Fault *faults = team > 1 ? faultsHeap.data() : &faultHere;
    binned::prepareJob(job, plan.layout, plan.tableBins, packed);

    parallel::runTeam(team, [&](int thread, int threads) {
        const parallel::Range block = parallel::staticBlock(job.F, threads, thread);
        double *own = scratch + static_cast<size_t>(thread) * perThread;
        faults[thread] = occupied ? plan.steps.scanOccupied(job, own, block.begin, block.end, rows)
                                  : binned::scanBlock(plan.steps, job, own, block.begin, block.end, rows);
    });

    // Each block stops at its first fault; the first fault of the lowest
    // block that has one is the lowest overall.
    for (int thread = 0; thread < team; ++thread)
        if (faults[thread].kind != Fault::Kind::none) return faults[thread];
    return {};
}

}  // namespace split
