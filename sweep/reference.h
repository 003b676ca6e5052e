// The presorted split search written plainly, one sample and one position at
// a time, in the order of operations that fixes every result bit: the node
// totals, the threshold and the sweep that the module's own (sweep.h)
// reproduce bit for bit, written apart from them so that a fault there shows
// as a difference. The oracle of the tests and the baseline of the
// benchmarks; the module never includes it.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/parallel.h"
#include "gini/gini.h"
#include "sweep.h"

namespace split {

// The node's class masses, total weight W, weighted square sum S and
// impurity G0 = 1 - ((S / W) / W), as nodeTotals (sweep.h) documents them;
// the first label outside 1..K stops the pass.
inline Fault referenceNodeTotals(const SweepInput &in, double *classMass, NodeTotals &node) {
    const uint32_t classes = in.K > 0 ? static_cast<uint32_t>(in.K) : 0u;
    double W = 0.0;
    int32_t weighted = 0;
    for (int32_t i = 0; i < in.M; ++i) {
        const uint32_t k = in.labels[i] - 1u;  // label 0 and negative int32 labels wrap to huge
        if (k >= classes) return Fault::labelOutOfRange(i);
        const double w = in.weights[i];
        W = W + w;
        classMass[k] = classMass[k] + w;
        if (w != 0.0) ++weighted;
    }
    double S = 0.0;
    for (int32_t k = 0; k < in.K; ++k) {
        const double c = in.classWeights[k];
        S = S + ((classMass[k] * c) * classMass[k]) * c;
    }
    node = {classMass, W, S, 1.0 - ((S / W) / W), weighted};
    return {};
}

// The threshold between the two values that meet at a split: their sum
// times 0.5, in single precision; where two finite values' sum overflows,
// the sum of their halves instead.
inline float referenceMidpoint(float next, float moving) {
    const float sum = next + moving;
    if (std::isinf(sum) && std::isfinite(next) && std::isfinite(moving)) return next * 0.5f + moving * 0.5f;
    return sum * 0.5f;
}

// Sweeps features begin .. end-1 and writes, at each improvement, the
// feature's elements of the three rows. A sortedOrder entry outside 0..M-1
// stops the block (sampleOutOfRange at that entry); what the feature found
// before stays written.
inline Fault referenceSweep(const SweepInput &in, const NodeTotals &node, int64_t begin, int64_t end,
                            const SplitRows &out) {
    const int32_t M = in.M;
    const uint32_t samples = static_cast<uint32_t>(M);
    if (M < 1) return {};  // no column to read
    std::vector<double> leftMass(in.K > 0 ? in.K : 0), rightMass(leftMass.size());
    for (int64_t j = begin; j < end; ++j) {
        const int64_t column = j * M;  // a fault's index counts column-major
        auto order = [&](int32_t p) { return in.sortedOrder[p * in.orderSteps.row + j * in.orderSteps.column]; };
        auto x = [&](uint32_t i) { return in.X[i * in.xSteps.row + j * in.xSteps.column]; };
        for (int32_t k = 0; k < in.K; ++k) {
            leftMass[k] = 0.0;
            rightMass[k] = node.classMass[k];
        }
        double WL = 0.0, SL = 0.0;
        double WR = node.W, SR = node.S;
        double best = node.G0;
        // Once only weightless samples remain on the right, its running sums
        // hold rounding residue, not an impurity: no such position counts.
        int32_t rightWeighted = node.weightedSamples;

        uint32_t i = order(0);  // checked also where M = 1 and nothing moves
        if (i >= samples) return Fault::sampleOutOfRange(column);
        // The last sample never moves: every sample on the left is no split.
        for (int32_t s = 0; s + 1 < M; ++s) {
            const uint32_t n = order(s + 1);
            if (n >= samples) return Fault::sampleOutOfRange(column + s + 1);
            const double w = in.weights[i];
            const uint32_t k = in.labels[i] - 1u;
            const double c = in.classWeights[k];

            WL = WL + w;
            WR = WR - w;
            SL = SL - classTerm(leftMass[k], c);
            leftMass[k] = leftMass[k] + w;
            SR = SR - classTerm(rightMass[k], c);
            rightMass[k] = rightMass[k] - w;
            SL = SL + classTerm(leftMass[k], c);
            SR = SR + classTerm(rightMass[k], c);
            if (w != 0.0) --rightWeighted;

            // Strict: the earliest position wins a tie, G0 itself is never
            // recorded and a NaN never wins.
            const double I = splitGini(WL, SL, WR, SR, node.W);
            if (I < best && rightWeighted > 0) {
                best = I;
                out.impurity[j] = I;
                out.gain[j] = node.G0 - I;
                out.threshold[j] = static_cast<double>(referenceMidpoint(x(n), x(i)));
            }
            i = n;
        }
    }
    return {};
}

// The whole search on one thread: the node totals, then the blocks of a team
// of `team` threads one after another. Fails at the first bad label, or at
// the first bad entry of the lowest block that has one (the lowest feature).
inline Fault referenceSearch(const SweepInput &in, const SplitRows &out, int team) {
    std::vector<double> classMass(in.K > 0 ? in.K : 0, 0.0);
    NodeTotals node{};
    const Fault bad = referenceNodeTotals(in, classMass.data(), node);
    if (bad.kind != Fault::Kind::none) return bad;
    Fault first;
    for (int t = 0; t < team; ++t) {
        const parallel::Range block = parallel::staticBlock(in.N, team, t);
        const Fault f = referenceSweep(in, node, block.begin, block.end, out);
        if (first.kind == Fault::Kind::none) first = f;
    }
    return first;
}

}  // namespace split
