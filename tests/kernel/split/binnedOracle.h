// A plain, single-threaded transcription of the binned split search over flat
// tables, kept apart from the kernels so tests can compare against it bit for
// bit, and random problems to feed both. Used by kernel and module tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace oracle {

struct BinnedProblem {
    int M = 0, columns = 0, K = 0, B = 0;
    std::vector<uint8_t> binnedData;  // M x columns, column-major
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> nodeSamples;
    std::vector<uint32_t> candidateFeatures;
    std::vector<double> classWeights;
};

struct BinnedResult {
    std::vector<double> impurity, threshold, gain;
};

inline BinnedResult plainBinnedScan(const BinnedProblem &p) {
    const size_t F = p.candidateFeatures.size();
    BinnedResult r{std::vector<double>(F), std::vector<double>(F), std::vector<double>(F)};
    if (p.nodeSamples.empty()) return r;

    double W = 0.0;
    std::vector<double> mass(p.K, 0.0);
    for (uint32_t s : p.nodeSamples) {
        W += static_cast<double>(p.weights[s]);
        mass[p.labels[s] - 1] += static_cast<double>(p.weights[s]);
    }
    double total = 0.0;
    for (int k = 0; k < p.K; ++k) {
        const double y = mass[k] * p.classWeights[k];
        total += (y * (y / W)) / W;
    }
    const double G0 = 1.0 - total;

    // Rows 0..K-1 per class, row K over all classes; every row cumulative.
    const int B = p.B;
    std::vector<double> hist(static_cast<size_t>(p.K + 1) * B);
    for (size_t q = 0; q < F; ++q) {
        const size_t column = static_cast<size_t>(p.M) * p.candidateFeatures[q];
        std::fill(hist.begin(), hist.end(), 0.0);
        for (uint32_t s : p.nodeSamples) {
            const int b = p.binnedData[column + s];
            hist[static_cast<size_t>(p.labels[s] - 1) * B + b] += static_cast<double>(p.weights[s]);
            hist[static_cast<size_t>(p.K) * B + b] += static_cast<double>(p.weights[s]);
        }
        for (int k = 0; k <= p.K; ++k)
            for (int t = 1; t < B; ++t) hist[static_cast<size_t>(k) * B + t] += hist[static_cast<size_t>(k) * B + t - 1];

        const double *all = &hist[static_cast<size_t>(p.K) * B];
        double best = G0;
        for (int j = 0; j < B - 1; ++j) {
            const double WL = all[j], WR = all[B - 1] - all[j];
            double SL = 0.0, SR = 0.0;
            for (int k = 0; k < p.K; ++k) {
                const double *h = &hist[static_cast<size_t>(k) * B];
                const double left = p.classWeights[k] * h[j];
                const double right = p.classWeights[k] * (h[B - 1] - h[j]);
                SL += left * left;
                SR += right * right;
            }
            const double I = (WL - SL / WL) / W + (WR - SR / WR) / W;
            if (I < best) {
                best = I;
                r.impurity[q] = I;
                r.threshold[q] = j;
                r.gain[q] = G0 - I;
            }
        }
    }
    return r;
}

// A random node with few occupied bins (ties and runs of empty bins), some
// zero weights, duplicated and unlisted samples, and class weights among
// 0, 1, 2 and arbitrary values. Bin values stay below min(B, 256).
inline BinnedProblem randomBinnedProblem(unsigned seed, int B) {
    std::mt19937 rng(seed);
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    BinnedProblem p;
    p.M = 1 + below(200);
    p.columns = 1 + below(12);
    p.K = 1 + below(5);
    p.B = B;
    const int topBin = B < 256 ? B : 256;
    std::vector<uint8_t> palette(1 + below(6));
    for (uint8_t &v : palette) v = static_cast<uint8_t>(below(topBin));
    const bool fullRange = below(3) == 0;
    p.binnedData.resize(static_cast<size_t>(p.M) * p.columns);
    for (uint8_t &v : p.binnedData)
        v = fullRange ? static_cast<uint8_t>(below(topBin)) : palette[below(static_cast<int>(palette.size()))];
    p.labels.resize(p.M);
    for (uint32_t &l : p.labels) l = 1 + below(p.K);
    p.weights.resize(p.M);
    const bool integral = below(2) == 0;
    for (float &w : p.weights)
        w = below(5) == 0 ? 0.0f
                          : (integral ? static_cast<float>(1 + below(3)) : std::uniform_real_distribution<float>(0.01f, 3.0f)(rng));
    const int n = below(2 * p.M + 1);
    for (int i = 0; i < n; ++i) p.nodeSamples.push_back(below(p.M));
    const int F = below(2 * p.columns + 1);
    for (int i = 0; i < F; ++i) p.candidateFeatures.push_back(below(p.columns));
    p.classWeights.resize(p.K);
    for (double &c : p.classWeights) {
        const int pick = below(4);
        c = pick == 0 ? 0.0 : pick == 1 ? 1.0 : pick == 2 ? 2.0 : std::uniform_real_distribution<double>(0.1, 3.0)(rng);
    }
    return p;
}

}  // namespace oracle
