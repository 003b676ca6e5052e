#include "sweep.h"

#include <limits>

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

struct ScalarKernel {
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

int64_t sweepFeatureScalar(const SweepContext &ctx, int32_t j, double *table, const SplitRows &out) {
    return sweepFeatureWith<ScalarKernel>(ctx, j, table, out);
}

FeatureSweep featureSweep(SweepKernel kernel) {
    switch (kernel) {
#ifdef SPLIT_X86_SWEEPS
    case SweepKernel::avx2:
        return sweepFeatureAvx2;
    case SweepKernel::avx512:
        return sweepFeatureAvx512;
#endif
    default:
        return sweepFeatureScalar;
    }
}

}  // namespace

size_t sweepTableDoubles(int32_t K, int team) {
    return tableStride(K) * (static_cast<size_t>(team > 0 ? team : 1) + 1);
}

bool sweepKernelAvailable(SweepKernel kernel) {
    switch (kernel) {
    case SweepKernel::scalar:
        return true;
#ifdef SPLIT_X86_SWEEPS
    case SweepKernel::avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case SweepKernel::avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

SweepKernel fastestSweepKernel() {
    if (sweepKernelAvailable(SweepKernel::avx512)) return SweepKernel::avx512;
    if (sweepKernelAvailable(SweepKernel::avx2)) return SweepKernel::avx2;
    return SweepKernel::scalar;
}

int64_t scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                           const SweepScratch &scratch) {
    return scanSortedFeaturesWith(fastestSweepKernel(), in, node, out, team, scratch);
}

int64_t scanSortedFeaturesWith(SweepKernel kernel, const SweepInput &in, const NodeTotals &node,
                               const SplitRows &out, int team, const SweepScratch &scratch) {
    if (team < 1) team = 1;
    (void)team;  // the serial build runs one thread
    // With one sample the sweep reads no column; check the entries here.
    if (in.M == 1) {
        for (int32_t j = 0; j < in.N; ++j)
            if (in.sortedOrder[j] != 0) return j;
    }
    if (in.M < 2 || in.N < 1) return noBadEntry;

    // Independent of the feature, so done once: each sample's class and
    // weight side by side, and the table every sweep starts from.
    for (int32_t i = 0; i < in.M; ++i) {
        const double w = in.weights[i];
        const uint32_t k = in.labels[i] - 1u;
        scratch.records[i] = {w, k, w != 0.0};
    }
    double *startTable = scratch.tables;
    for (int32_t k = 0; k < in.K; ++k) {
        const double c = in.classWeights[k];
        double *entry = startTable + static_cast<size_t>(classEntry) * k;
        entry[0] = node.classMass[k];
        entry[1] = 0.0;
        entry[2] = classTerm(node.classMass[k], c);
        entry[3] = classTerm(0.0, c);
    }
    const SweepContext ctx{in.X, in.sortedOrder, in.classWeights, scratch.records, startTable, node, in.M, in.K};
    const FeatureSweep sweep = featureSweep(kernel);

    // Bad entries lie in disjoint columns, so the lowest linear index among
    // those noted belongs to the lowest feature, whatever the team size.
    int64_t firstBad = std::numeric_limits<int64_t>::max();
#ifdef _OPENMP
#pragma omp parallel num_threads(team) reduction(min : firstBad)
#endif
    {
        const parallel::Range block = parallel::staticBlock(in.N, parallel::teamSize(), parallel::threadId());
        double *table = scratch.tables + tableStride(in.K) * (static_cast<size_t>(parallel::threadId()) + 1);
        for (int64_t j = block.begin; j < block.end; ++j) {
            const int64_t bad = sweep(ctx, static_cast<int32_t>(j), table, out);
            // Later features of this block are higher; the others' blocks still run.
            if (bad != noBadEntry) {
                firstBad = bad;
                break;
            }
        }
    }
    return firstBad == std::numeric_limits<int64_t>::max() ? noBadEntry : firstBad;
}

}  // namespace split
