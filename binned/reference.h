// The binned split search written plainly: the node's totals, the two
// histogram routines and the scan of a block of features, one operation at a
// time in the order that fixes every output bit. binnedScan (binnedScan.h)
// performs exactly these operations, several bins, features or candidates at
// a time; the tests and the benchmarks compare it with this file, which the
// shipped code never includes.
//
// Two choices of this implementation appear here as in the scan: B above 256
// is scanned as 256 bins, and a listed sample's bin value of B or above stops
// the scan with a fault.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "binnedScan.h"
#include "common/parallel.h"
#include "gini/gini.h"

namespace split::binnedReference {

// W and G0 over the listed samples, in list order, with classMass a table of
// K zeros. S is never formed: each class's term is divided by W twice on its
// own, 1 - sum over k of ((y * (y / W)) / W) with y = m_k * c_k.
inline void nodeTotals(BinnedJob &job, double *classMass) {
    double W = 0.0;
    for (int32_t i = 0; i < job.n; ++i) {
        const uint32_t s = job.nodeSamples[i];
        const double w = job.weights[s];
        W = W + w;
        classMass[job.labels[s] - 1] = classMass[job.labels[s] - 1] + w;
    }
    double total = 0.0;
    for (int32_t k = 0; k < job.K; ++k) {
        const double y = classMass[k] * job.classWeights[k];
        const double q = y / W;
        total = total + (y * q) / W;
    }
    job.W = W;
    job.G0 = 1.0 - total;
}

// Bins without weight add an exact zero, so every threshold inside a run of
// empty bins reads the same sums to the last bit. Elements from B on are not
// touched.
inline void makeCumulative(std::vector<double> &bins, int32_t B) {
    for (int32_t t = 1; t < B; ++t) bins[t] = bins[t] + bins[t - 1];
}

// Adds the weight of every listed sample, widened to double, into cdf[bin] in
// list order, then makes the first B elements cumulative. cdf holds at least
// B zeros. A listed sample whose bin value is B or above would land outside
// the histogram: the pass stops there and returns that sample's list
// position. Returns -1 when every bin value is below B.
inline int32_t constructCdf(const uint8_t *binColumn, const float *weights, int32_t B, int32_t n,
                            const uint32_t *nodeSamples, std::vector<double> &cdf) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        const int32_t b = binColumn[s];
        if (b >= B) return i;
        cdf[b] = cdf[b] + static_cast<double>(weights[s]);
    }
    makeCumulative(cdf, B);
    return -1;
}

// The same per class: histogram k gathers the samples labelled k + 1, and
// every class histogram is made cumulative.
inline int32_t constructCdfPerClass(const uint8_t *binColumn, const uint32_t *labels, const float *weights,
                                    int32_t B, int32_t n, const uint32_t *nodeSamples,
                                    std::vector<std::vector<double>> &cdfPerClass) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t s = nodeSamples[i];
        const int32_t b = binColumn[s];
        if (b >= B) return i;
        std::vector<double> &histogram = cdfPerClass[labels[s] - 1];
        histogram[b] = histogram[b] + static_cast<double>(weights[s]);
    }
    for (std::vector<double> &histogram : cdfPerClass) makeCumulative(histogram, B);
    return -1;
}

// Thresholds at bin 255 and above have nothing on their right: their
// impurity is NaN and never recorded, and cdf[B-1] equals cdf[255] bit for
// bit, so the 256 bins that 8-bit values can fill give the results of any
// larger B.
inline int32_t scannedBins(int32_t B) { return B < 256 ? B : 256; }

// One thread's histograms: cdf, then K class histograms, of B bins each.
struct Histograms {
    std::vector<double> cdf;
    std::vector<std::vector<double>> cdfPerClass;
    Histograms(int32_t K, int32_t B)
        : cdf(static_cast<size_t>(B), 0.0), cdfPerClass(static_cast<size_t>(K), cdf) {}
};

// Scans candidate positions begin .. end-1 in order. Stops at the first
// feature whose column holds a bin value of B or above for a listed sample,
// leaving that feature's outputs unwritten.
inline Fault scanBlock(const BinnedJob &job, int64_t begin, int64_t end, Histograms &h, const SplitRows &rows) {
    const int32_t B = scannedBins(job.B);
    for (int64_t p = begin; p < end; ++p) {
        const uint8_t *binColumn = job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p];
        std::fill(h.cdf.begin(), h.cdf.end(), 0.0);
        for (std::vector<double> &histogram : h.cdfPerClass) std::fill(histogram.begin(), histogram.end(), 0.0);
        const int32_t bad =
            constructCdfPerClass(binColumn, job.labels, job.weights, B, job.n, job.nodeSamples, h.cdfPerClass);
        if (bad >= 0) return Fault::binOutOfRange(p, bad);
        constructCdf(binColumn, job.weights, B, job.n, job.nodeSamples, h.cdf);

        // Threshold j puts the bins 0..j on the left. Strict: the lowest bin
        // reaching the lowest impurity wins, G0 itself and NaN never do.
        double best = job.G0;
        for (int32_t j = 0; j + 1 < B; ++j) {
            const double WL = h.cdf[j];
            const double WR = h.cdf[B - 1] - WL;
            double SL = 0.0;
            double SR = 0.0;
            for (int32_t k = 0; k < job.K; ++k) {
                const double c = job.classWeights[k];
                const double mL = h.cdfPerClass[k][j];
                const double mR = h.cdfPerClass[k][B - 1] - mL;
                SL = SL + (c * mL) * (c * mL);
                SR = SR + (c * mR) * (c * mR);
            }
            const double I = splitGini(WL, SL, WR, SR, job.W);
            if (best > I) {
                best = I;
                rows.impurity[p] = I;
                rows.gain[p] = job.G0 - I;
                rows.threshold[p] = static_cast<double>(j);
            }
        }
    }
    return {};
}

// The parallel phase: every thread of the team scans its static block with
// histograms made before the region. The lowest faulty position is
// reported, whatever the team; which features were written besides depends
// on it, as in binnedScan.
inline Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team) {
    if (job.F <= 0) return {};
    team = std::clamp(team, 1, job.F);
    std::vector<Histograms> histograms(static_cast<size_t>(team), Histograms(job.K, scannedBins(job.B)));
    std::vector<Fault> faults(static_cast<size_t>(team));
    parallel::runTeam(team, [&](int thread, int threads) {
        const parallel::Range block = parallel::staticBlock(job.F, threads, thread);
        faults[thread] = scanBlock(job, block.begin, block.end, histograms[thread], rows);
    });
    for (const Fault &fault : faults)
        if (fault.kind != Fault::Kind::none) return fault;
    return {};
}

}  // namespace split::binnedReference
