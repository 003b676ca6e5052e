// Class-weighted Gini impurity shared by both split searches.
//
// A set's impurity is 1 - S / W^2 with S the sum over classes of
// (classWeight * classMass)^2 and W the plain total weight. Each search fixes its
// own order of evaluation; these are the pieces they share.
#pragma once

namespace split {

// One class's contribution (c * m)^2, evaluated as ((m * c) * m) * c.
inline double classTerm(double m, double c) {
    double p = m * c;
    p = p * m;
    p = p * c;
    return p;
}

// Impurity of a set from its weighted square sum and total weight.
inline double nodeGini(double S, double W) { return 1.0 - ((S / W) / W); }

// Impurity of a two-way split, each side's W_A * G(A) divided by the node's W.
inline double splitGini(double WL, double SL, double WR, double SR, double W) {
    const double a = (WL - SL / WL) / W;
    const double b = (WR - SR / WR) / W;
    return a + b;
}

}  // namespace split
