// The node's own class masses, total weight and impurity: computed once per
// call on the calling thread, then shared read-only by every worker as the
// starting right side of each feature's sweep.
#pragma once

#include <cstdint>

namespace split {

struct NodeTotals {
    const double *classMass;  // K entries, the weight of each class
    double W;                 // total sample weight, class weights not applied
    double S;                 // sum over classes of classTerm(classMass[k], classWeights[k])
    double G0;                // the node's impurity
};

// Adds every sample's weight, widened to double, to W and to the entry of its
// one-based label in the zeroed table, in storage order, and returns W.
// Labels are checked here, the only pass over all of them: at the first label
// outside 1..K it stops and sets *badSample to that sample (otherwise -1); the
// table and W are then incomplete and must not be used.
double accumulateClassMass(const uint32_t *labels, const float *weights, int32_t M, int32_t K,
                           double *classMass, int32_t *badSample);

// S and G0 of a table filled by accumulateClassMass; keeps a pointer to it.
NodeTotals nodeTotals(const double *classMass, const double *classWeights, int32_t K, double W);

}  // namespace split
