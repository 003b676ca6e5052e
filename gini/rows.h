// The three result rows of a split search, one element per scanned feature.
#pragma once

namespace split {

// Impurity, threshold and gain rows, zero-filled by the caller: a feature
// without a split below the node's impurity keeps 0 in all three.
struct SplitRows {
    double *impurity;
    double *threshold;
    double *gain;
};

}  // namespace split
