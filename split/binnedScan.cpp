#include "binnedScan.h"

#include <unistd.h>

#include <algorithm>
#include <new>

#include "gateway/parallel.h"
#include "gini.h"
#include "histogram.h"

namespace split {

bool binnedNodeTotals(const BinnedInputs &in, BinnedNode &node) {
    std::vector<double> classMass;
    try {
        classMass.assign(static_cast<size_t>(in.K), 0.0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    double W = 0.0;
    for (int32_t i = 0; i < in.n; ++i) {
        const uint32_t s = in.nodeSamples[i];
        const double w = in.weights[s];
        W = W + w;
        classMass[in.labels[s] - 1] = classMass[in.labels[s] - 1] + w;
    }
    // S is never formed: each class's term is divided by W twice on its own.
    double total = 0.0;
    for (int32_t k = 0; k < in.K; ++k) {
        const double y = classMass[k] * in.classWeights[k];
        const double q = y / W;
        total = total + (y * q) / W;
    }
    node = {W, 1.0 - total};
    return true;
}

int32_t scanFeature(const BinnedInputs &in, const BinnedNode &node, int32_t p, BinScratch &scratch,
                    const SplitRows &rows) {
    const int32_t B = in.B;
    const uint8_t *binColumn =
        in.binnedData + static_cast<int64_t>(in.M) * static_cast<int64_t>(in.candidateFeatures[p]);
    std::vector<double> &cdf = scratch.cdf;
    std::vector<std::vector<double>> &cdfPerClass = scratch.cdfPerClass;
    std::fill(cdf.begin(), cdf.begin() + B, 0.0);
    for (std::vector<double> &histogram : cdfPerClass) std::fill(histogram.begin(), histogram.begin() + B, 0.0);

    const int32_t bad = constructCdfPerClass(binColumn, in.labels, in.weights, B, in.n,
                                             in.nodeSamples, cdfPerClass);
    if (bad >= 0) return bad;
    constructCdf(binColumn, in.weights, B, in.n, in.nodeSamples, cdf);

    // Strict test in ascending bins: the lowest bin reaching the lowest value
    // wins, a value equal to G0 never counts, and NaN (an empty side) never does.
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
        const double I = splitGini(WL, SL, WR, SR, node.W);
        if (best > I) {
            best = I;
            rows.impurity[p] = I;
            rows.gain[p] = node.G0 - I;
            rows.threshold[p] = static_cast<double>(j);
        }
    }
    return -1;
}

// Refuses scratch beyond the machine's memory up front: the histograms are
// zero-filled at once, and an overcommitted request would be killed while
// touching its pages rather than fail to allocate.
static uint64_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

static uint64_t scratchBytes(int32_t K, int32_t B, int team) {
    const uint64_t perThread = (static_cast<uint64_t>(K) + 1) * static_cast<uint64_t>(B) * sizeof(double) +
                               static_cast<uint64_t>(K) * sizeof(std::vector<double>);
    return perThread * static_cast<uint64_t>(team);
}

BinnedStatus binnedScan(const BinnedInputs &in, const BinnedNode &node, const SplitRows &rows,
                        int team) {
    BinnedStatus status;
    // Without samples every side weighs 0 and no threshold can be recorded.
    if (in.n <= 0 || in.F <= 0) return status;

    // Thresholds at bin 255 and above have nothing on their right: their
    // impurity is NaN and never recorded, and cdf[B-1] equals cdf[255]
    // bit for bit, so scanning 256 bins gives the same results for any
    // larger B without sizing histograms by it.
    BinnedInputs scan = in;
    scan.B = std::min(in.B, binValueCount);
    // More threads than features would only hold idle scratch.
    team = static_cast<int>(std::clamp<int64_t>(team, 1, in.F));

    status.scratchBytes = scratchBytes(scan.K, scan.B, team);
    status.team = team;
    if (status.scratchBytes > physicalMemoryBytes()) {
        status.failure = BinnedFailure::outOfMemory;
        return status;
    }
    std::vector<BinScratch> scratch;
    std::vector<BinnedStatus> faults;
    try {
        scratch.resize(static_cast<size_t>(team));
        for (BinScratch &s : scratch) {
            s.cdf.assign(static_cast<size_t>(scan.B), 0.0);
            s.cdfPerClass.assign(static_cast<size_t>(scan.K), s.cdf);
        }
        faults.resize(static_cast<size_t>(team));
    } catch (const std::bad_alloc &) {
        status.failure = BinnedFailure::outOfMemory;
        return status;
    }

#ifdef _OPENMP
#pragma omp parallel num_threads(team)
#endif
    {
        const int t = parallel::threadId();
        const parallel::Range block = parallel::staticBlock(scan.F, parallel::teamSize(), t);
        for (int64_t p = block.begin; p < block.end; ++p) {
            const int32_t bad = scanFeature(scan, node, static_cast<int32_t>(p), scratch[t], rows);
            if (bad >= 0) {
                // The rest of this block lies at higher positions: the first
                // fault of the lowest block is the lowest overall.
                faults[t].failure = BinnedFailure::binOutOfRange;
                faults[t].position = static_cast<int32_t>(p);
                faults[t].listIndex = bad;
                break;
            }
        }
    }

    for (const BinnedStatus &fault : faults)
        if (fault.failure != BinnedFailure::none &&
            (status.failure == BinnedFailure::none || fault.position < status.position))
            status = fault;
    return status;
}

}  // namespace split
