// The node's own class masses, total weight and impurity: computed once per
// call on the calling thread, then shared read-only by every worker as the
// starting right side of each feature's sweep.
#pragma once

#include <cstdint>

namespace split {

// What the pass over the node's samples yields besides the class masses.
struct ClassMassPass {
    double W;                 // total sample weight, class weights not applied
    int32_t weightedSamples;  // samples whose weight is not zero
    int32_t badSample;        // first sample whose label lies outside 1..K, or -1
};

struct NodeTotals {
    const double *classMass;  // K entries, the weight of each class
    double W;
    double S;                 // sum over classes of classTerm(classMass[k], classWeights[k])
    double G0;                // the node's impurity
    int32_t weightedSamples;
};

// Adds every sample's weight, widened to double, to W and to the entry of its
// one-based label in the zeroed table, in storage order. Labels are checked
// here, the only pass over all of them: at the first label outside 1..K the
// pass stops and names that sample; the table is then incomplete.
ClassMassPass accumulateClassMass(const uint32_t *labels, const float *weights, int32_t M, int32_t K,
                                  double *classMass);

// S and G0 of a table filled by accumulateClassMass; keeps a pointer to it.
NodeTotals nodeTotals(const double *classMass, const double *classWeights, int32_t K, const ClassMassPass &pass);

}  // namespace split
