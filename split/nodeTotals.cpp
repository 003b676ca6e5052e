#include "nodeTotals.h"

#include "gini.h"

namespace split {

double accumulateClassMass(const uint32_t *labels, const float *weights, int32_t M, int32_t K,
                           double *classMass, int32_t *badSample) {
    const uint32_t classes = K > 0 ? static_cast<uint32_t>(K) : 0u;
    double W = 0.0;
    *badSample = -1;
    for (int32_t i = 0; i < M; ++i) {
        // Label 0 wraps to a huge index, as do negative int32 labels.
        const uint32_t k = labels[i] - 1u;
        if (k >= classes) {
            *badSample = i;
            return W;
        }
        const double w = weights[i];
        W = W + w;
        classMass[k] = classMass[k] + w;
    }
    return W;
}

NodeTotals nodeTotals(const double *classMass, const double *classWeights, int32_t K, double W) {
    double S = 0.0;
    for (int32_t k = 0; k < K; ++k) S = S + classTerm(classMass[k], classWeights[k]);
    return {classMass, W, S, nodeGini(S, W)};
}

}  // namespace split
