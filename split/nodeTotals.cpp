#include "nodeTotals.h"

#include "gini.h"

namespace split {

ClassMassPass accumulateClassMass(const uint32_t *labels, const float *weights, int32_t M, int32_t K,
                                  double *classMass) {
    const uint32_t classes = K > 0 ? static_cast<uint32_t>(K) : 0u;
    ClassMassPass pass{0.0, 0, -1};
    for (int32_t i = 0; i < M; ++i) {
        // Label 0 wraps to a huge index, as do negative int32 labels.
        const uint32_t k = labels[i] - 1u;
        if (k >= classes) {
            pass.badSample = i;
            return pass;
        }
        const double w = weights[i];
        pass.W = pass.W + w;
        classMass[k] = classMass[k] + w;
        if (w != 0.0) ++pass.weightedSamples;
    }
    return pass;
}

NodeTotals nodeTotals(const double *classMass, const double *classWeights, int32_t K, const ClassMassPass &pass) {
    double S = 0.0;
    for (int32_t k = 0; k < K; ++k) S = S + classTerm(classMass[k], classWeights[k]);
    return {classMass, pass.W, S, nodeGini(S, pass.W), pass.weightedSamples};
}

}  // namespace split
