#include "binnedScan.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "binnedVersions.h"
#include "common/memory.h"
#include "common/parallel.h"

namespace split {

namespace {

// Class tables of up to this many classes live on the calling thread's stack.
constexpr int32_t stackClasses = 16;

// Tables of up to this many doubles (32 KiB) live on the calling thread's
// stack.
constexpr uint64_t stackTableDoubles = 4096;

// Every thread of a team gets at least this many sample-features (listed
// samples times listed features), and the team grows by one thread per
// teamWork: below that a second thread costs more than it saves (the
// cut-over is measured in docs/performance.md, splitScanBinned).
constexpr int64_t teamWork = 8192;

// The fastest version that runs here, chosen once.
cpu::Isa fastestVersion() {
    static const cpu::Isa isa = cpu::fastest(binnedVersions);
    return isa;
}

// Occupied-bin tables need lists short enough to rank in one block.
BinnedTables tablesFor(BinnedTables tables, const BinnedJob &job) {
    return job.n <= occupiedBinsLimit ? tables : BinnedTables::allBins;
}

// What a scan on `team` threads allocates: the packed samples, shared, and
// every thread's tables, with a cache line more to align them.
struct ScratchPlan {
    binned::ScanVersion version;
    bool occupied;      // occupied-bin tables
    int32_t tableBins;  // bins of a table row
    int team;
    size_t perThread;
    uint64_t tableDoubles;
    uint64_t bytes;
};

ScratchPlan planScratch(cpu::Isa isa, BinnedTables tables, const BinnedJob &job, int team) {
    ScratchPlan plan;
    plan.version = binned::versionFor(isa, job.K);
    // More threads than features would only hold idle scratch.
    plan.team = std::clamp(team, 1, std::max(job.F, 1));
    plan.occupied = tablesFor(tables, job) == BinnedTables::occupiedBins;
    const binned::Layout layout = plan.version.layout;
    if (plan.occupied) {
        plan.tableBins = binned::occupiedCapacity(job.n);
        plan.perThread = binned::occupiedThreadDoubles(layout, job.K, job.n);
    } else {
        plan.tableBins = scannedBins(job.B);
        plan.perThread = binned::threadDoubles(layout, job.K, plan.tableBins);
    }
    plan.tableDoubles = static_cast<uint64_t>(plan.perThread) * static_cast<uint64_t>(plan.team) + binned::lineDoubles;
    plan.bytes = static_cast<uint64_t>(job.n) * sizeof(binned::PackedSample) + plan.tableDoubles * sizeof(double);
    return plan;
}

// A scan's scratch: small calls keep it on the stack, since for them an
// allocation of this size is a large share of the call (glibc tidies its
// small free blocks before every large allocation). Nothing is zero-filled: the
// packed samples are written before they are read, and every table is
// cleared where a feature reads it.
struct Scratch {
    binned::PackedSample packedHere[occupiedBinsLimit];
    double tablesHere[stackTableDoubles];
    Fault faultHere;
    std::unique_ptr<binned::PackedSample[]> packedHeap;
    std::unique_ptr<double[]> tablesHeap;
    std::vector<Fault> faultsHeap;
    binned::PackedSample *packed = nullptr;
    double *tables = nullptr;  // cache-line aligned
    Fault *faults = nullptr;   // one per thread
};

// False when an allocation fails.
bool allocate(const ScratchPlan &plan, int32_t n, Scratch &s) {
    try {
        if (n > occupiedBinsLimit) s.packedHeap.reset(new binned::PackedSample[static_cast<size_t>(n)]);
        if (plan.tableDoubles > stackTableDoubles) s.tablesHeap.reset(new double[static_cast<size_t>(plan.tableDoubles)]);
        if (plan.team > 1) s.faultsHeap.resize(static_cast<size_t>(plan.team));
    } catch (const std::bad_alloc &) {
        return false;
    }
    s.packed = s.packedHeap ? s.packedHeap.get() : s.packedHere;
    s.tables = binned::alignedScratch(s.tablesHeap ? s.tablesHeap.get() : s.tablesHere);
    s.faults = plan.team > 1 ? s.faultsHeap.data() : &s.faultHere;
    return true;
}

// Each block stops at its first fault; the first fault of the lowest block
// that has one is the lowest overall.
Fault lowestFault(const Fault *faults, int team) {
    for (int thread = 0; thread < team; ++thread)
        if (faults[thread].kind != Fault::Kind::none) return faults[thread];
    return {};
}

// W and G0 over the listed samples, in list order, with classMass a table of
// K zeros; each class's term divided by W twice, S never formed.
void sumNode(BinnedJob &job, double *classMass) {
    double W = 0.0;
    for (int32_t i = 0; i < job.n; ++i) {
        const uint32_t s = job.nodeSamples[i];
        const double w = job.weights[s];
        W = W + w;
        double &mass = classMass[job.labels[s] - 1];
        mass = mass + w;
    }
    double impurityLoss = 0.0;
    for (int32_t k = 0; k < job.K; ++k) {
        const double y = classMass[k] * job.classWeights[k];
        impurityLoss = impurityLoss + (y * (y / W)) / W;
    }
    job.W = W;
    job.G0 = 1.0 - impurityLoss;
}

}  // namespace

BinnedTables binnedTablesFor(const BinnedJob &job) {
    return job.n <= std::min(scannedBins(job.B), occupiedBinsLimit) ? BinnedTables::occupiedBins
                                                                    : BinnedTables::allBins;
}

int binnedTeam(const BinnedJob &job, int team) {
    const int64_t work = static_cast<int64_t>(std::max(job.n, 0)) * std::max(job.F, 0);
    return static_cast<int>(std::clamp<int64_t>(work / teamWork, 1, std::max(team, 1)));
}

Fault binnedScratchCheck(const BinnedJob &job, int team) {
    const uint64_t classTable = static_cast<uint64_t>(job.K) * sizeof(double);
    const uint64_t bytes = classTable + planScratch(fastestVersion(), binnedTablesFor(job), job, team).bytes;
    uint64_t available = 0;
    if (!memory::scratchFits(bytes, &available)) return Fault::outOfMemory(bytes, available);
    return {};
}

Fault binnedNodeTotals(BinnedJob &job) {
    double few[stackClasses] = {};
    std::vector<double> many;
    if (job.K > stackClasses) {
        try {
            many.assign(static_cast<size_t>(job.K), 0.0);
        } catch (const std::bad_alloc &) {
            return Fault::outOfMemory(static_cast<uint64_t>(job.K) * sizeof(double));
        }
    }
    sumNode(job, job.K > stackClasses ? many.data() : few);
    return {};
}

Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team) {
    return binnedScanWith(fastestVersion(), binnedTablesFor(job), job, rows, team);
}

namespace binned {

ScanVersion versionFor(cpu::Isa isa, int32_t K) {
    switch (isa) {
#if defined(CPU_WIDE_SIMD)
    case cpu::Isa::avx2:
        return avx2Version(K);
    case cpu::Isa::avx512:
        return avx512Version(K);
#endif
#if defined(CPU_BINNED_NEON)
    case cpu::Isa::neon:
        return neonVersion();
#endif
    default:
        (void)K;
        return portableVersion();
    }
}

}  // namespace binned

Fault binnedScanWith(cpu::Isa isa, BinnedTables tables, const BinnedJob &in, const SplitRows &rows, int team) {
    // Without samples every side weighs 0 and no threshold can be recorded.
    if (in.n <= 0 || in.F <= 0) return {};

    const ScratchPlan plan = planScratch(isa, tables, in, team);
    Scratch scratch;
    if (!allocate(plan, in.n, scratch)) return Fault::outOfMemory(plan.bytes);
    BinnedJob job = in;
    job.B = scannedBins(in.B);
    if (!plan.occupied || in.n > plan.version.smallNodes)
        binned::prepareJob(job, plan.version.layout, plan.tableBins, scratch.packed);

    parallel::runTeam(plan.team, [&](int thread, int threads) {
        const parallel::Range block = parallel::staticBlock(job.F, threads, thread);
        double *own = scratch.tables + static_cast<size_t>(thread) * plan.perThread;
        scratch.faults[thread] = plan.occupied
                                     ? plan.version.scanOccupied(job, own, block.begin, block.end, rows)
                                     : binned::scanAllBins(plan.version, job, own, block.begin, block.end, rows);
    });
    return lowestFault(scratch.faults, plan.team);
}

}  // namespace split
