#include "gini/gini.h"
#include "sweep.h"

namespace split {

Fault nodeTotals(const SweepInput &in, double *classMass, NodeTotals &node) {
    const uint32_t classes = in.K > 0 ? static_cast<uint32_t>(in.K) : 0u;
    NodeTotals totals{};
    totals.classMass = classMass;
    for (int32_t i = 0; i < in.M; ++i) {
        const uint32_t k = in.labels[i] - 1u;  // label 0 and negative int32 labels wrap to huge
        if (k >= classes) return Fault::labelOutOfRange(i);
        const double w = in.weights[i];
        totals.W = totals.W + w;
        classMass[k] = classMass[k] + w;
        if (w != 0.0) ++totals.weightedSamples;
    }
    for (int32_t k = 0; k < in.K; ++k) totals.S = totals.S + classTerm(classMass[k], in.classWeights[k]);
    totals.G0 = nodeGini(totals.S, totals.W);
    node = totals;
    return {};
}

}  // namespace split
