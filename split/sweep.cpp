#include "sweep.h"

#include <cmath>
#include <limits>

#include "gateway/parallel.h"
#include "gini.h"

namespace split {

namespace {

// Midpoint of the two values that meet at a split, in single precision. Two
// finite values whose sum overflows are halved before adding, so that the
// threshold still lies between them instead of at infinity.
inline float midpoint(float next, float moving) {
    const float m = (next + moving) * 0.5f;
    if (std::isinf(m) && std::isfinite(next) && std::isfinite(moving)) return next * 0.5f + moving * 0.5f;
    return m;
}

// Doubles between two threads' tables: both tables rounded up to whole cache
// lines of 64 bytes, plus one line, so that no two threads ever write to the
// same line whatever the alignment of the scratch block.
size_t threadStride(int32_t K) {
    const size_t tables = 2 * static_cast<size_t>(K > 0 ? K : 0);
    return (tables + 7) / 8 * 8 + 8;
}

}  // namespace

int64_t sweepFeature(const SweepInput &in, const NodeTotals &node, int32_t j, double *leftMass,
                     double *rightMass, const SplitRows &out) {
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
    // The last sample never moves: every sample on the left is no split.
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
        // Only the moving sample's class changes: retract its two terms, update
        // the masses, add the terms back.
        SL = SL - classTerm(leftMass[k], c);
        leftMass[k] = leftMass[k] + w;
        SR = SR - classTerm(rightMass[k], c);
        rightMass[k] = rightMass[k] - w;
        SL = SL + classTerm(leftMass[k], c);
        SR = SR + classTerm(rightMass[k], c);

        const double I = splitGini(WL, SL, WR, SR, node.W);
        // Strict: the earliest position wins a tie, G0 itself is never recorded
        // and a NaN never wins. A side without weight has impurity 0/0; the
        // left side computes exactly that, but the right side's running sums
        // keep rounding residue (a WR of 0 beside a nonzero SR gives -inf), so
        // a weightless right side is passed over by count.
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

size_t scanScratchDoubles(int32_t K, int team) {
    return threadStride(K) * static_cast<size_t>(team > 0 ? team : 1);
}

int64_t scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                           double *scratch) {
    if (team < 1) team = 1;
    (void)team;  // the serial build runs one thread
    // With one sample the sweep reads no column; check the entries here.
    if (in.M == 1) {
        for (int32_t j = 0; j < in.N; ++j)
            if (in.sortedOrder[j] != 0) return j;
    }

    // Bad entries lie in disjoint columns, so the lowest linear index among
    // those noted belongs to the lowest feature, whatever the team size.
    int64_t firstBad = std::numeric_limits<int64_t>::max();
    const size_t tableDoubles = static_cast<size_t>(in.K > 0 ? in.K : 0);
#ifdef _OPENMP
#pragma omp parallel num_threads(team) reduction(min : firstBad)
#endif
    {
        const parallel::Range block = parallel::staticBlock(in.N, parallel::teamSize(), parallel::threadId());
        double *leftMass = scratch + threadStride(in.K) * static_cast<size_t>(parallel::threadId());
        double *rightMass = leftMass + tableDoubles;
        for (int64_t j = block.begin; j < block.end; ++j) {
            const int64_t bad = sweepFeature(in, node, static_cast<int32_t>(j), leftMass, rightMass, out);
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
