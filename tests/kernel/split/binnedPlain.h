// The plain binned scan, feature by feature with its own histograms and the
// two histogram routines, kept as the reference that the optimized kernel must
// match bit for bit: the same team, the same division of features, the same
// status on a bin value of B or above. Shared by the differential tests and
// the benchmarks; not part of any module.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "gateway/parallel.h"
#include "split/binnedScan.h"
#include "split/gini.h"
#include "split/histogram.h"

namespace binnedPlain {

struct Scratch {
    std::vector<double> cdf;
    std::vector<std::vector<double>> cdfPerClass;
};

// Returns -1, or the list position of the first sample whose bin value is B
// or above, in which case nothing of position p was written.
inline int32_t scanFeature(const split::BinnedInputs &in, const split::BinnedNode &node, int32_t p,
                           Scratch &scratch, const split::SplitRows &rows) {
    const int32_t B = in.B;
    const uint8_t *binColumn =
        in.binnedData + static_cast<int64_t>(in.M) * static_cast<int64_t>(in.candidateFeatures[p]);
    std::vector<double> &cdf = scratch.cdf;
    std::vector<std::vector<double>> &cdfPerClass = scratch.cdfPerClass;
    std::fill(cdf.begin(), cdf.begin() + B, 0.0);
    for (std::vector<double> &histogram : cdfPerClass) std::fill(histogram.begin(), histogram.begin() + B, 0.0);

    const int32_t bad =
        split::constructCdfPerClass(binColumn, in.labels, in.weights, B, in.n, in.nodeSamples, cdfPerClass);
    if (bad >= 0) return bad;
    split::constructCdf(binColumn, in.weights, B, in.n, in.nodeSamples, cdf);

    double best = node.G0;
    for (int32_t j = 0; j + 1 < B; ++j) {
        const double WL = cdf[j];
        const double WR = cdf[B - 1] - WL;
        double SL = 0.0;
        double SR = 0.0;
        for (int32_t k = 0; k < in.K; ++k) {
            const double c = in.classWeights[k];
            const double mL = cdfPerClass[k][j];
            const double mR = cdfPerClass[k][B - 1] - mL;
            SL = SL + (c * mL) * (c * mL);
            SR = SR + (c * mR) * (c * mR);
        }
        const double I = split::splitGini(WL, SL, WR, SR, node.W);
        if (best > I) {
            best = I;
            rows.impurity[p] = I;
            rows.gain[p] = node.G0 - I;
            rows.threshold[p] = static_cast<double>(j);
        }
    }
    return -1;
}

// The parallel phase with scratch made before the region; B capped at 256 as
// the kernel does. No memory check: meant for problems that fit.
inline split::Fault binnedScan(const split::BinnedInputs &in, const split::BinnedNode &node,
                                      const split::SplitRows &rows, int team) {
    split::Fault status;
    if (in.n <= 0 || in.F <= 0) return status;
    split::BinnedInputs scan = in;
    scan.B = std::min(in.B, split::binValueCount);
    team = static_cast<int>(std::clamp<int64_t>(team, 1, in.F));
    std::vector<Scratch> scratch(static_cast<size_t>(team));
    for (Scratch &s : scratch) {
        s.cdf.assign(static_cast<size_t>(scan.B), 0.0);
        s.cdfPerClass.assign(static_cast<size_t>(scan.K), s.cdf);
    }
    std::vector<split::Fault> faults(static_cast<size_t>(team));

#ifdef _OPENMP
#pragma omp parallel num_threads(team)
#endif
    {
        const int t = parallel::threadId();
        const parallel::Range block = parallel::staticBlock(scan.F, parallel::teamSize(), t);
        for (int64_t p = block.begin; p < block.end; ++p) {
            const int32_t bad = scanFeature(scan, node, static_cast<int32_t>(p), scratch[t], rows);
            if (bad >= 0) {
                faults[t].kind = split::Fault::binOutOfRange;
                faults[t].index = p;
                faults[t].listIndex = bad;
                break;
            }
        }
    }
    for (const split::Fault &fault : faults)
        if (fault.kind != split::Fault::none &&
            (status.kind == split::Fault::none || fault.index < status.index))
            status = fault;
    return status;
}

}  // namespace binnedPlain
