// A plain, single-threaded transcription of the split search, kept apart from
// the kernels so tests can compare against it bit for bit, and random
// problems to feed both.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace oracle {

struct SplitProblem {
    int M = 0, N = 0, K = 0;
    std::vector<float> X;  // M x N, column-major
    std::vector<uint32_t> labels;
    std::vector<float> weights;
    std::vector<uint32_t> sortedOrder;  // M x N
    std::vector<double> classWeights;
};

struct SplitResult {
    std::vector<double> impurity, threshold, gain;
};

inline double term(double m, double c) { return ((m * c) * m) * c; }

inline SplitResult plainSplitScan(const SplitProblem &p) {
    SplitResult r{std::vector<double>(p.N), std::vector<double>(p.N), std::vector<double>(p.N)};
    std::vector<double> mass(p.K, 0.0);
    double W = 0.0;
    int weighted = 0;  // samples of nonzero weight
    for (int i = 0; i < p.M; ++i) {
        W += static_cast<double>(p.weights[i]);
        mass[p.labels[i] - 1] += static_cast<double>(p.weights[i]);
        weighted += p.weights[i] != 0;
    }
    double S = 0.0;
    for (int k = 0; k < p.K; ++k) S += term(mass[k], p.classWeights[k]);
    const double G0 = 1.0 - ((S / W) / W);

    for (int j = 0; j < p.N; ++j) {
        std::vector<double> left(p.K, 0.0), right = mass;
        double WL = 0, SL = 0, WR = W, SR = S, best = G0;
        int rightWeighted = weighted;
        const uint32_t *order = p.sortedOrder.data() + static_cast<size_t>(j) * p.M;
        const float *x = p.X.data() + static_cast<size_t>(j) * p.M;
        for (int s = 0; s + 1 < p.M; ++s) {
            const uint32_t i = order[s], n = order[s + 1];
            const double w = p.weights[i];
            const int k = static_cast<int>(p.labels[i]) - 1;
            const double c = p.classWeights[k];
            WL += w;
            WR -= w;
            rightWeighted -= w != 0;
            SL -= term(left[k], c);
            left[k] += w;
            SR -= term(right[k], c);
            right[k] -= w;
            SL += term(left[k], c);
            SR += term(right[k], c);
            const double I = (WL - SL / WL) / W + (WR - SR / WR) / W;
            // A weightless side is no split (its rounding residue is no impurity).
            if (I < best && rightWeighted > 0) {
                best = I;
                r.impurity[j] = I;
                r.gain[j] = G0 - I;
                r.threshold[j] = static_cast<double>((x[n] + x[i]) * 0.5f);
            }
        }
    }
    return r;
}

// Few distinct feature values (ties), some NaN, some zero weights, class
// weights including 0 and 2; each column ordered by value, NaN last.
inline SplitProblem randomProblem(unsigned seed, int M, int N, int K) {
    std::mt19937 rng(seed);
    SplitProblem p;
    p.M = M;
    p.N = N;
    p.K = K;
    for (int i = 0; i < M; ++i) {
        p.labels.push_back(1 + rng() % K);
        p.weights.push_back(rng() % 7 == 0 ? 0.0f : static_cast<float>(rng() % 1000) / 37.0f);
    }
    const double someClassWeights[] = {1.0, 0.0, 2.0, 0.75, 1.3};
    for (int k = 0; k < K; ++k) p.classWeights.push_back(someClassWeights[rng() % 5]);
    for (int j = 0; j < N; ++j) {
        std::vector<uint32_t> order(M);
        for (int i = 0; i < M; ++i) {
            p.X.push_back(rng() % 23 == 0 ? NAN : static_cast<float>(rng() % 9) * 0.3f - 1.0f);
            order[i] = i;
        }
        const float *x = p.X.data() + static_cast<size_t>(j) * M;
        std::stable_sort(order.begin(), order.end(), [x](uint32_t a, uint32_t b) {
            return !std::isnan(x[a]) && (std::isnan(x[b]) || x[a] < x[b]);
        });
        p.sortedOrder.insert(p.sortedOrder.end(), order.begin(), order.end());
    }
    return p;
}

}  // namespace oracle
