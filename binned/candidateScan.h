// Prefix sums, candidate impurities and the pick of the best threshold,
// shared by every version as inline code that each compiles for its own
// instruction set (with its own width of candidate lanes).
#pragma once

#include <cstring>

#include "binnedTables.h"
#include "common/cpu.h"

namespace split::binned {

// Bins 0..B-1 of `C` rows made cumulative in place, the rows' chains of
// additions side by side.
template <int C>
CPU_INLINE void cumulateRowBlock(double *row, int64_t stride, int32_t B) {
    double sum[C];
    for (int r = 0; r < C; ++r) sum[r] = row[r * stride];
    for (int32_t t = 1; t < B; ++t) {
CPU_UNROLL(4)
        for (int r = 0; r < C; ++r) {
            sum[r] = row[r * stride + t] + sum[r];
            row[r * stride + t] = sum[r];
        }
    }
}

// Every row of a row-layout table made cumulative over its `bins` bins.
CPU_INLINE void cumulateRows(const BinnedJob &job, int32_t bins, double *table) {
    const int64_t rows = static_cast<int64_t>(job.K) + 1;
    const int64_t stride = job.stride;
    int64_t r = 0;
    for (; rows - r >= 4; r += 4) cumulateRowBlock<4>(table + r * stride, stride, bins);
    switch (rows - r) {
    case 3:
        cumulateRowBlock<3>(table + r * stride, stride, bins);
        break;
    case 2:
        cumulateRowBlock<2>(table + r * stride, stride, bins);
        break;
    case 1:
        cumulateRowBlock<1>(table + r * stride, stride, bins);
        break;
    }
}

// One class's terms of both sides' weighted square sums: (c * m) * (c * m)
// for the left mass m and for the right one (the class's total less m),
// each added to its sum; called in class order on sums that start at +0.0.
// With `First`, the first class's terms are the sums: a square is never
// -0.0, so +0.0 plus it is the square, bits and NaNs alike. V is a double,
// lanes of doubles or a vector register; `total` and `c` are of V or double.
// The only form of this formula in the scan.
template <bool First = false, class V, class C, class T>
CPU_INLINE void addClassTerms(const C &c, const V &mL, const T &total, V &SL, V &SR) {
    const V mR = total - mL;
    const V left = (c * mL) * (c * mL), right = (c * mR) * (c * mR);
    if constexpr (First) {
        SL = left;
        SR = right;
    } else {
        SL = SL + left;
        SR = SR + right;
    }
}

// A class weight of exactly 1: c * m is m, bit for bit, for every m a class
// sum can hold, so addClassTerms skips the products.
struct UnitWeight {};
template <class V>
CPU_INLINE const V &operator*(UnitWeight, const V &m) {
    return m;
}

// The split impurity I from both sides' weights and sums, splitGini's
// (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W for a double or lanes.
// W is a double or lanes of it.
template <class V, class S>
CPU_INLINE void splitImpurity(const V &WL, const V &SL, const V &WR, const V &SR, const S &W, V &I) {
    I = (WL - SL / WL) / W + (WR - SR / WR) / W;
}

// Candidate j's impurity from cumulative row-layout tables whose last bin
// `last` holds the totals: the reference's operations in its order.
CPU_INLINE double candidateImpurity(const BinnedJob &job, const double *table, int32_t last, int32_t j) {
    const int64_t stride = job.stride;
    const double WL = table[j];
    const double WR = table[last] - WL;
    double SL = 0.0;
    double SR = 0.0;
    for (int32_t k = 0; k < job.K; ++k) {
        const double *h = table + (k + 1) * stride;
        addClassTerms(job.classWeights[k], h[j], h[last], SL, SR);
    }
    double I;
    splitImpurity(WL, SL, WR, SR, job.W, I);
    return I;
}

// Candidates are evaluated side by side, `L` at a time as one vector of
// doubles: 8 in the AVX-512 version, 4 in the AVX2 one, 2 (one SSE2 or NEON
// register) in the portable and NEON ones; GCC splits wider vectors poorly
// where the registers are narrower.
// Lanes past the last candidate read zeroed bins and are never looked at.
constexpr int32_t maxCandidateLanes = 8;

// candidateImpurity of every threshold j = 0 .. bins-2, L lanes at a time.
template <int L>
CPU_INLINE void candidateImpurities(const BinnedJob &job, int32_t bins, const double *table, double *impurity) {
    static_assert(L <= maxCandidateLanes, "bins are zeroed for blocks of up to maxCandidateLanes candidates");
    using Lanes = typename cpu::DoubleLanes<L>::type;
    static_assert(sizeof(Lanes) == L * sizeof(double), "one lane per candidate");
    const int32_t last = bins - 1;
    const int64_t stride = job.stride;
    const double total = table[last];
    for (int32_t j0 = 0; j0 < last; j0 += L) {
        Lanes WL;
        std::memcpy(&WL, table + j0, sizeof WL);
        const Lanes WR = total - WL;
        Lanes SL = {};
        Lanes SR = {};
        for (int32_t k = 0; k < job.K; ++k) {
            const double *h = table + (k + 1) * stride;
            Lanes mL;
            std::memcpy(&mL, h + j0, sizeof mL);
            addClassTerms(job.classWeights[k], mL, h[last], SL, SR);
        }
        Lanes I;
        splitImpurity(WL, SL, WR, SR, job.W, I);
        std::memcpy(impurity + j0, &I, sizeof I);
    }
}

// The reference's strict improvements on G0 in bin order, of which only the
// last is kept: what its writes leave behind, the lowest bin reaching the
// lowest impurity. NaN never compares below.
struct BestSplit {
    double impurity = 0.0;
    int32_t at = -1;  // none yet

    BestSplit() = default;
    explicit BestSplit(double G0) : impurity(G0) {}
    CPU_INLINE void offer(double I, int32_t j) {
        if (impurity > I) {
            impurity = I;
            at = j;
        }
    }
    // Writes position p's outputs, when a split improved on G0; `bin` is
    // the threshold bin of the best candidate.
    CPU_INLINE void write(const BinnedJob &job, int64_t p, uint32_t bin, const SplitRows &rows) const {
        rows.impurity[p] = impurity;
        rows.gain[p] = job.G0 - impurity;
        rows.threshold[p] = static_cast<double>(bin);
    }
    CPU_INLINE void writeAt(const BinnedJob &job, TableBins bins, int32_t p, const SplitRows &rows) const {
        if (at >= 0) write(job, p, bins.binOf ? bins.binOf[at] : static_cast<uint32_t>(at), rows);
    }
};

// The best of every candidate's impurity, written at position p.
CPU_INLINE void recordBest(const BinnedJob &job, TableBins bins, const double *impurity, int32_t p,
                           const SplitRows &rows) {
    BestSplit best(job.G0);
    for (int32_t j = 0; j + 1 < bins.count; ++j) best.offer(impurity[j], j);
    best.writeAt(job, bins, p, rows);
}

template <int L>
CPU_INLINE void finishRows(const BinnedJob &job, TableBins bins, double *table, double *impurity, int32_t p,
                           const SplitRows &rows) {
    cumulateRows(job, bins.count, table);
    candidateImpurities<L>(job, bins.count, table, impurity);
    recordBest(job, bins, impurity, p, rows);
}

}  // namespace split::binned
