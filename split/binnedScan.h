// Split search over 8-bit binned features: for every listed feature, the
// lowest class-weighted split impurity over all thresholds between adjacent
// bins, found from cumulative class histograms of the node's samples.
#pragma once

#include <cstdint>

#include "fault.h"
#include "rows.h"

namespace split {

// The read-only values of one search, fixed before the workers start.
struct BinnedInputs {
    const uint8_t *binnedData;          // M rows (samples), one column per feature
    int32_t M;
    const uint32_t *labels;             // one-based class per sample
    const float *weights;               // per sample
    const uint32_t *nodeSamples;        // n zero-based sample numbers
    int32_t n;
    const uint32_t *candidateFeatures;  // F zero-based column numbers
    int32_t F;
    const double *classWeights;         // K
    int32_t K;
    int32_t B;                          // number of bins
};


// The node's total weight and impurity.
struct BinnedNode {
    double W;
    double G0;
};

// Bin values are 8-bit: bins from this one up never hold a sample.
constexpr int32_t binValueCount = 256;

// W and G0 over the listed samples, each class's term divided by W twice.
// Labels of listed samples lie in 1..K, K >= 1. Fails (outOfMemory) when
// the class table cannot be allocated.
Fault binnedNodeTotals(const BinnedInputs &in, BinnedNode &node);

// The whole parallel phase on a team of at most `team` threads, each taking
// a contiguous block of candidate positions. Scratch (the listed samples'
// classes and weights packed in list order, and every thread's tables) is
// made before the region; no failure leaves a worker. Needs B >= 1 and K >= 1 when n > 0,
// labels of listed samples in 1..K, sample numbers below M and feature
// numbers inside binnedData. Results do not depend on `team`. Fails with
// outOfMemory (the scratch asked for: the packed samples and every thread's
// tables) or binOutOfRange (the lowest candidate position whose column holds
// a bin value of B or above for a listed sample, and the list position of the
// first such sample).
Fault binnedScan(const BinnedInputs &in, const BinnedNode &node, const SplitRows &rows,
                        int team);

// The builds of the scan this source knows. All give the same bits; not every
// one is built on every platform or runs on every processor.
enum class BinnedKernel { portable, avx512 };

// Whether a build is here and runs on this processor; the fastest such build,
// which binnedScan uses.
bool binnedKernelAvailable(BinnedKernel kernel);
BinnedKernel fastestBinnedKernel();

// binnedScan with a chosen build, which must be available.
Fault binnedScanWith(BinnedKernel kernel, const BinnedInputs &in, const BinnedNode &node,
                            const SplitRows &rows, int team);

}  // namespace split
