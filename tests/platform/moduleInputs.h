// The inputs of a call of each module, as host arrays, from the generators of
// tests/support.h: for the calls that the platform check records and the
// load/unload cycles.
#pragma once

#include <vector>

#include "host/loader.h"
#include "tests/support.h"

namespace moduleInputs {

using Inputs = std::vector<host::Array>;

inline Inputs crestThin(const support::EdgeMaps &m, double radius, double marginWidth, double multiplier,
                        double threadBound) {
    Inputs in;
    in.push_back(host::makeMatrix<float>(m.h, m.w, m.edge));
    in.push_back(host::makeMatrix<float>(m.h, m.w, m.orientation));
    for (double scalar : {radius, marginWidth, multiplier, threadBound}) in.push_back(host::makeScalar(scalar));
    return in;
}

inline Inputs splitScan(const support::SweepNode &p) {
    Inputs in;
    in.push_back(host::makeMatrix<float>(p.M, p.N, p.X));
    in.push_back(host::makeMatrix<uint32_t>(p.M, 1, p.labels));
    in.push_back(host::makeMatrix<float>(p.M, 1, p.weights));
    in.push_back(host::makeMatrix<uint32_t>(p.M, p.N, p.sortedOrder));
    in.push_back(host::makeScalar(p.K));
    in.push_back(host::makeScalar(0));
    in.push_back(host::makeMatrix<double>(1, p.classWeights.size(), p.classWeights));
    return in;
}

inline Inputs splitScanBinned(const support::BinnedNode &d, double threadLimit) {
    Inputs in;
    in.push_back(host::makeMatrix<uint8_t>(d.M, d.columns, d.binnedData));
    in.push_back(host::makeMatrix<uint32_t>(1, d.M, d.labels));
    in.push_back(host::makeMatrix<float>(1, d.M, d.weights));
    in.push_back(host::makeScalar(d.B));
    in.push_back(host::makeMatrix<uint32_t>(1, d.nodeSamples.size(), d.nodeSamples));
    in.push_back(host::makeMatrix<uint32_t>(1, d.candidateFeatures.size(), d.candidateFeatures));
    in.push_back(host::makeScalar(d.K));
    in.push_back(host::makeScalar(0));
    in.push_back(host::makeMatrix<double>(1, d.classWeights.size(), d.classWeights));
    in.push_back(host::makeScalar(threadLimit));
    return in;
}

}  // namespace moduleInputs
