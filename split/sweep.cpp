#include "sweep.h"

#include "gateway/parallel.h"
#include "gini.h"
#include "sweepBlock.h"

namespace split {

namespace {

// Doubles between two tables: K entries rounded up to whole cache lines of 64
// bytes, plus one line, so that no two threads ever write to the same line
// whatever the alignment of the scratch block.
size_t tableStride(int32_t K) {
    const size_t doubles = classEntry * static_cast<size_t>(K > 0 ? K : 0);
    return (doubles + 7) / 8 * 8 + 8;
}

size_t tableDoubles(int32_t K, int team) { return tableStride(K) * (static_cast<size_t>(team > 0 ? team : 1) + 1); }

// The group evaluation of the portable version: splitGini position by position.
struct PortableKernel {
    using Sums = ScalarSums;
    static constexpr int32_t width = 4;
    static constexpr int32_t lag = 2;
    static uint32_t group(PositionRing &ring, int32_t slot, double W, double best) {
        uint32_t lower = 0;
        for (int32_t l = 0; l < width; ++l) {
            const int32_t p = slot + l;
            ring.I[p] = splitGini(ring.W[2 * p + 1], ring.S[2 * p + 1], ring.W[2 * p], ring.S[2 * p], W);
            lower |= static_cast<uint32_t>(ring.I[p] < best) << l;
        }
        return lower;
    }
};

int64_t sweepFeaturePortable(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out) {
    return sweepFeatureWith<PortableKernel>(ctx, j, table, out);
}

FeatureSweep featureSweep(cpu::Isa version) {
    switch (version) {
#ifdef CPU_WIDE_SIMD
    case cpu::Isa::avx2:
        return sweepFeatureAvx2;
    case cpu::Isa::avx512:
        return sweepFeatureAvx512;
#endif
    default:
        return sweepFeaturePortable;
    }
}

// Sweeps one thread's block of features with its table and stops at the
// first bad entry, as referenceSweep does.
Fault sweepBlock(FeatureSweep sweep, const SweepContext &ctx, parallel::Range block, double *table,
                 const SplitRows &out) {
    for (int64_t j = block.begin; j < block.end; ++j) {
        const int64_t bad = sweep(ctx, static_cast<int32_t>(j), table, out);
        if (bad != noBadEntry) return {Fault::sampleOutOfRange, bad};
    }
    return {};
}

}  // namespace

SweepScratch::SweepScratch(int32_t M, int32_t K, int team)
    : records(new SampleRecord[static_cast<size_t>(M > 0 ? M : 0)]),
      tables(new double[tableDoubles(K, team)]),
      faults(static_cast<size_t>(team > 0 ? team : 1)) {}

uint64_t SweepScratch::bytes(int32_t M, int32_t K, int team) {
    return static_cast<uint64_t>(M > 0 ? M : 0) * sizeof(SampleRecord) + tableDoubles(K, team) * sizeof(double) +
           static_cast<uint64_t>(team > 0 ? team : 1) * sizeof(Fault);
}

Fault scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                         SweepScratch &scratch) {
    // Asked once per process, not per call.
    static const cpu::Isa fastest = cpu::fastest(sweepVersions);
    return scanSortedFeaturesWith(fastest, in, node, out, team, scratch);
}

Fault scanSortedFeaturesWith(cpu::Isa version, const SweepInput &in, const NodeTotals &node, const SplitRows &out,
                             int team, SweepScratch &scratch) {
    if (team < 1) team = 1;
    if (in.M < 1 || in.N < 1) return {};

    // Independent of the feature, so done once: each sample's class and
    // weight side by side, and the table every sweep starts from.
    for (int32_t i = 0; i < in.M; ++i) {
        const double w = in.weights[i];
        const uint32_t k = in.labels[i] - 1u;
        scratch.records[i] = {w, k, w != 0.0};
    }
    double *startTable = scratch.tables.get();
    for (int32_t k = 0; k < in.K; ++k) {
        const double c = in.classWeights[k];
        double *entry = startTable + static_cast<size_t>(classEntry) * k;
        entry[0] = node.classMass[k];
        entry[1] = 0.0;
        entry[2] = classTerm(node.classMass[k], c);
        entry[3] = classTerm(0.0, c);
    }
    const SweepContext ctx{in.X, in.sortedOrder, in.classWeights, scratch.records.get(), startTable, node, in.M, in.K};
    const FeatureSweep sweep = featureSweep(version);
    const size_t stride = tableStride(in.K);
    for (Fault &f : scratch.faults) f = {};

    parallel::runTeam(team, [&](int thread, int threads) {
        double *table = startTable + stride * (static_cast<size_t>(thread) + 1);
        scratch.faults[thread] = sweepBlock(sweep, ctx, parallel::staticBlock(in.N, threads, thread), table, out);
    });
    // Each block stops at its first bad entry and lies before the next
    // thread's: the first fault in thread order is the lowest feature's.
    for (const Fault &f : scratch.faults)
        if (f.kind != Fault::none) return f;
    return {};
}

}  // namespace split
