// One call of splitScanBinned through the stand-in host, built from a
// problem of the plain oracle, for the module tests.
#pragma once

#include <vector>

#include "host/loader.h"
#include "tests/kernel/split/binnedOracle.h"

namespace binnedTest {

using host::Array;

inline host::Module &binnedModule() {
    static host::Module m(host::modulePath("splitScanBinned"));
    return m;
}

// The ten inputs of one call, as host arrays.
struct BinnedCall {
    Array binnedData, labels, weights, B, nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit;

    explicit BinnedCall(const oracle::BinnedProblem &p, double threads = 2)
        : binnedData(host::makeMatrix<uint8_t>(p.M, p.columns, p.binnedData)),
          labels(host::makeMatrix<uint32_t>(p.M, 1, p.labels)),
          weights(host::makeMatrix<float>(p.M, 1, p.weights)),
          B(host::makeScalar(p.B)),
          nodeSamples(host::makeMatrix<uint32_t>(1, p.nodeSamples.size(), p.nodeSamples)),
          candidateFeatures(host::makeMatrix<uint32_t>(1, p.candidateFeatures.size(), p.candidateFeatures)),
          K(host::makeScalar(p.K)),
          unused(host::makeScalar(0)),
          classWeights(host::makeMatrix<double>(1, p.classWeights.size(), p.classWeights)),
          threadLimit(host::makeScalar(threads)) {}

    std::vector<const mxArray *> inputs() const {
        return {binnedData.get(), labels.get(), weights.get(), B.get(), nodeSamples.get(),
                candidateFeatures.get(), K.get(), unused.get(), classWeights.get(), threadLimit.get()};
    }
    host::CallResult run(int nlhs = 3) const { return binnedModule().call(nlhs, inputs()); }
};

// Columns (0,1,2,3), (3,2,1,0), (0,0,1,1); labels 1,1,2,2; unit weights.
inline oracle::BinnedProblem threeColumns() {
    oracle::BinnedProblem p;
    p.M = 4;
    p.columns = 3;
    p.K = 2;
    p.B = 4;
    p.binnedData = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1};
    p.labels = {1, 1, 2, 2};
    p.weights = {1, 1, 1, 1};
    p.nodeSamples = {0, 1, 2, 3};
    p.candidateFeatures = {2, 0, 1};
    p.classWeights = {1, 1};
    return p;
}

}  // namespace binnedTest
