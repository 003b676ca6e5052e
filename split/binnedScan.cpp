#include "binnedScan.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "binnedBlock.h"
#include "gateway/parallel.h"

namespace split {

Fault binnedNodeTotals(const BinnedInputs &in, BinnedNode &node) {
    std::vector<double> classMass;
    try {
        classMass.assign(static_cast<size_t>(in.K), 0.0);
    } catch (const std::bad_alloc &) {
        return {Fault::outOfMemory, -1, -1, static_cast<uint64_t>(in.K) * sizeof(double)};
    }
    double W = 0.0;
    for (int32_t i = 0; i < in.n; ++i) {
        const uint32_t s = in.nodeSamples[i];
        const double w = in.weights[s];
        W = W + w;
        classMass[in.labels[s] - 1] = classMass[in.labels[s] - 1] + w;
    }
    // S is never formed: each class's term is divided by W twice on its own.
    double total = 0.0;
    for (int32_t k = 0; k < in.K; ++k) {
        const double y = classMass[k] * in.classWeights[k];
        const double q = y / W;
        total = total + (y * q) / W;
    }
    node = {W, 1.0 - total};
    return {};
}

// Refuses scratch beyond the machine's memory up front: the histograms are
// zero-filled at once, and an overcommitted request would be killed while
// touching its pages rather than fail to allocate.
static uint64_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

bool binnedKernelAvailable(BinnedKernel kernel) {
    switch (kernel) {
    case BinnedKernel::portable:
        return true;
    case BinnedKernel::avx512:
#ifdef SPLIT_BINNED_X86
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
        return false;
#endif
    }
    return false;
}

BinnedKernel fastestBinnedKernel() {
    return binnedKernelAvailable(BinnedKernel::avx512) ? BinnedKernel::avx512 : BinnedKernel::portable;
}

static binned::BinnedSteps stepsOf(BinnedKernel kernel, int32_t K) {
#ifdef SPLIT_BINNED_X86
    if (kernel == BinnedKernel::avx512) return binned::avx512Steps(K);
#endif
    return binned::portableSteps(K);
}

Fault binnedScan(const BinnedInputs &in, const BinnedNode &node, const SplitRows &rows, int team) {
    return binnedScanWith(fastestBinnedKernel(), in, node, rows, team);
}

Fault binnedScanWith(BinnedKernel kernel, const BinnedInputs &in, const BinnedNode &node,
                            const SplitRows &rows, int team) {
    // Without samples every side weighs 0 and no threshold can be recorded.
    if (in.n <= 0 || in.F <= 0) return {};

    // Thresholds at bin 255 and above have nothing on their right: their
    // impurity is NaN and never recorded, and cdf[B-1] equals cdf[255]
    // bit for bit, so scanning 256 bins gives the same results for any
    // larger B without sizing histograms by it.
    const int32_t B = std::min(in.B, binned::binSlots);
    // More threads than features would only hold idle scratch.
    team = static_cast<int>(std::clamp<int64_t>(team, 1, in.F));
    const binned::BinnedSteps steps = stepsOf(kernel, in.K);

    // The packed samples, shared, and every thread's tables; a cache line
    // more to align them.
    const size_t perThread = binned::threadDoubles(steps.layout, in.K, B);
    const uint64_t tableDoubles = static_cast<uint64_t>(perThread) * static_cast<uint64_t>(team) + 8;
    const uint64_t bytes = static_cast<uint64_t>(in.n) * sizeof(binned::PackedSample) + tableDoubles * sizeof(double);
    const Fault noMemory{Fault::outOfMemory, -1, -1, bytes};
    if (bytes > physicalMemoryBytes()) return noMemory;
    // The packed samples are written before they are read: not zero-filled,
    // which would take as long as packing them.
    std::unique_ptr<binned::PackedSample[]> packed;
    std::vector<double> tables;
    std::vector<binned::BlockFault> faults;
    try {
        packed.reset(new binned::PackedSample[static_cast<size_t>(in.n)]);
        tables.resize(static_cast<size_t>(tableDoubles));
        faults.resize(static_cast<size_t>(team));
    } catch (const std::bad_alloc &) {
        return noMemory;
    }
    double *scratch = tables.data();
    while (reinterpret_cast<uintptr_t>(scratch) % 64 != 0) ++scratch;

    const int32_t stride = binned::rowStride(B);
    const binned::BinnedJob job{in.binnedData,
                                in.M,
                                in.candidateFeatures,
                                in.nodeSamples,
                                in.n,
                                binned::packSamples(in, steps.layout, stride, packed.get()),
                                packed.get(),
                                in.classWeights,
                                in.K,
                                B,
                                stride,
                                node.W,
                                node.G0,
                                steps.layout};

#ifdef _OPENMP
#pragma omp parallel num_threads(team)
#endif
    {
        const int t = parallel::threadId();
        const parallel::Range block = parallel::staticBlock(in.F, parallel::teamSize(), t);
        faults[t] = binned::scanBlock(steps, job, scratch + static_cast<size_t>(t) * perThread, block.begin,
                                      block.end, rows);
    }

    // Each block stops at its first fault; the first fault of the lowest
    // block that has one is the lowest overall.
    for (const binned::BlockFault &fault : faults) {
        if (fault.position < 0) continue;
        return {Fault::binOutOfRange, fault.position, fault.listIndex, 0};
    }
    return {};
}

}  // namespace split
