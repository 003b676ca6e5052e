// The presorted sweep as a plain loop: one sample at a time, the split
// impurity of every position evaluated as it comes, on the same thread team
// and feature division as the kernel. The oracle of the differential tests and
// the baseline of the benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "gateway/parallel.h"
#include "split/gini.h"
#include "split/nodeTotals.h"
#include "split/sweep.h"

namespace sweepPlain {

using split::noBadEntry;

inline float midpoint(float next, float moving) {
    const float m = (next + moving) * 0.5f;
    if (std::isinf(m) && std::isfinite(next) && std::isfinite(moving)) return next * 0.5f + moving * 0.5f;
    return m;
}

inline int64_t sweepFeature(const split::SweepInput &in, const split::NodeTotals &node, int32_t j, double *leftMass,
                            double *rightMass, const split::SplitRows &out) {
    const int32_t M = in.M;
    const int64_t column = static_cast<int64_t>(j) * M;
    const uint32_t *order = in.sortedOrder + column;
    const float *x = in.X + column;
    const uint32_t samples = static_cast<uint32_t>(M);

    for (int32_t k = 0; k < in.K; ++k) {
        leftMass[k] = 0.0;
        rightMass[k] = node.classMass[k];
    }
    double WL = 0.0, SL = 0.0;
    double WR = node.W, SR = node.S;
    double best = node.G0;
    int32_t rightWeighted = node.weightedSamples;
    if (M < 2) return noBadEntry;

    uint32_t i = order[0];
    if (i >= samples) return column;
    for (int32_t s = 0; s + 1 < M; ++s) {
        const uint32_t n = order[s + 1];
        if (n >= samples) return column + s + 1;
        const double w = in.weights[i];
        const uint32_t k = in.labels[i] - 1u;
        const double c = in.classWeights[k];

        WL = WL + w;
        WR = WR - w;
        if (w != 0.0) --rightWeighted;
        SL = SL - split::classTerm(leftMass[k], c);
        leftMass[k] = leftMass[k] + w;
        SR = SR - split::classTerm(rightMass[k], c);
        rightMass[k] = rightMass[k] - w;
        SL = SL + split::classTerm(leftMass[k], c);
        SR = SR + split::classTerm(rightMass[k], c);

        const double I = split::splitGini(WL, SL, WR, SR, node.W);
        if (I < best && rightWeighted > 0) {
            best = I;
            out.impurity[j] = I;
            out.gain[j] = node.G0 - I;
            out.threshold[j] = static_cast<double>(midpoint(x[n], x[i]));
        }
        i = n;
    }
    return noBadEntry;
}

// Two tables of K doubles per thread, a cache line apart.
inline size_t threadStride(int32_t K) { return (2 * static_cast<size_t>(K > 0 ? K : 0) + 7) / 8 * 8 + 8; }

inline int64_t scanSortedFeatures(const split::SweepInput &in, const split::NodeTotals &node,
                                  const split::SplitRows &out, int team, double *scratch) {
    if (team < 1) team = 1;
    (void)team;
    if (in.M == 1) {
        for (int32_t j = 0; j < in.N; ++j)
            if (in.sortedOrder[j] != 0) return j;
    }
    int64_t firstBad = std::numeric_limits<int64_t>::max();
#ifdef _OPENMP
#pragma omp parallel num_threads(team) reduction(min : firstBad)
#endif
    {
        const parallel::Range block = parallel::staticBlock(in.N, parallel::teamSize(), parallel::threadId());
        double *leftMass = scratch + threadStride(in.K) * static_cast<size_t>(parallel::threadId());
        double *rightMass = leftMass + (in.K > 0 ? in.K : 0);
        for (int64_t j = block.begin; j < block.end; ++j) {
            const int64_t bad = sweepFeature(in, node, static_cast<int32_t>(j), leftMass, rightMass, out);
            if (bad != noBadEntry) {
                firstBad = bad;
                break;
            }
        }
    }
    return firstBad == std::numeric_limits<int64_t>::max() ? noBadEntry : firstBad;
}

// Scratch for scanSortedFeatures on a team.
inline std::vector<double> scratchFor(int32_t K, int team) {
    return std::vector<double>(threadStride(K) * static_cast<size_t>(team > 0 ? team : 1));
}

}  // namespace sweepPlain
