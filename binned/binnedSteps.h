// The steps of the binned scan that every version shares, as inline code
// that each version compiles for its own instruction set. A version supplies
// only its addition of one sample (see fillRun) and its width of candidate
// lanes. Nothing here uses instructions beyond the x86-64 baseline.
#pragma once

#include <cstring>

#include "binnedBlock.h"
#include "common/cpu.h"

#if defined(CPU_X86_64)
#include <emmintrin.h>
#endif

namespace split::binned {

// The highest bin value of each of G features: for bins read eight at a
// time, the bytewise highest of those eight-byte values. Kept in plain
// integers, which a store of a double cannot change (SSE2 vector types may
// alias anything, and would be reloaded after every addition).
template <int G>
struct HighestBins {
    uint64_t eights[G];
    uint32_t singles[G];

    CPU_INLINE HighestBins() {
        for (int g = 0; g < G; ++g) {
            eights[g] = 0;
            singles[g] = 0;
        }
    }
    CPU_INLINE void addEight(int g, uint64_t chunk) {
#if defined(CPU_X86_64)
        const __m128i m = _mm_max_epu8(_mm_cvtsi64_si128(static_cast<int64_t>(eights[g])),
                                       _mm_cvtsi64_si128(static_cast<int64_t>(chunk)));
        eights[g] = static_cast<uint64_t>(_mm_cvtsi128_si64(m));
#else
        for (int q = 0; q < 8; ++q) {
            const uint64_t mask = uint64_t{0xff} << (8 * q);
            if ((chunk & mask) > (eights[g] & mask)) eights[g] = (eights[g] & ~mask) | (chunk & mask);
        }
#endif
    }
    CPU_INLINE void addOne(int g, uint32_t b) { singles[g] = b > singles[g] ? b : singles[g]; }
    CPU_INLINE void write(uint8_t *highestBin) const {
        for (int g = 0; g < G; ++g) {
            uint32_t highest = singles[g];
            for (int q = 0; q < 8; ++q) {
                const uint32_t b = static_cast<uint32_t>(eights[g] >> (8 * q)) & 0xffu;
                highest = b > highest ? b : highest;
            }
            highestBin[g] = static_cast<uint8_t>(highest);
        }
    }
};

CPU_INLINE uint64_t eightBins(const uint8_t *bins) {
    uint64_t chunk;
    std::memcpy(&chunk, bins, sizeof chunk);
    return chunk;
}

// Bin q of eight read as one 8-byte value, on a little-endian processor.
CPU_INLINE uint32_t binOf(uint64_t chunk, int q) { return static_cast<uint32_t>(chunk >> (8 * q)) & 0xffu; }

// A general list's bins are first copied, a block at a time, into a run: the
// fill's stores then never wait on the two dependent loads of a bin's
// address, and the column reads of a block overlap.
constexpr int32_t stagedSamples = 256;

template <int G>
CPU_INLINE void stageBins(const BinnedJob &job, const uint8_t *const *columns, int32_t i0, int32_t count,
                          uint8_t (*staged)[stagedSamples]) {
    const uint32_t *samples = job.nodeSamples + i0;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t s = samples[i];
        for (int g = 0; g < G; ++g) staged[g][i] = columns[g][s];
    }
}

// The row layout's addition of one sample at bin b of one feature's tables
// (see fillRun): into the row over all classes, then into the row of the
// sample's class, each as the scalar addition of binnedReference.h.
struct RowAddition {
    static CPU_INLINE void add(double *table, uint32_t b, const PackedSample &sample) {
        table[b] = table[b] + sample.weight;
        double *classRow = table + sample.key;
        classRow[b] = classRow[b] + sample.weight;
    }
};

// Samples i .. i+count-1 of the list (packed from there on) into the tables
// of G features, with the features' bins of these samples in a run: the loop
// that every layout and version shares. A layout supplies only
// Addition::add(table, bin, sample), one sample into one feature's tables.
// Bins are read eight at a time where the byte order allows. Works on local
// copies, which the compiler keeps in registers.
template <class Addition, int G>
CPU_INLINE void fillRun(const uint8_t *const *binsIn, const PackedSample *packed, int32_t count,
                        double *const *tIn, HighestBins<G> &highestInOut) {
    HighestBins<G> highest = highestInOut;
    const uint8_t *bins[G];
    double *t[G];
    for (int g = 0; g < G; ++g) {
        bins[g] = binsIn[g];
        t[g] = tIn[g];
    }
    int32_t i = 0;
    for (; cpu::littleEndian && count - i >= 8; i += 8) {
        uint64_t chunk[G];
        for (int g = 0; g < G; ++g) {
            chunk[g] = eightBins(bins[g] + i);
            highest.addEight(g, chunk[g]);
        }
        CPU_UNROLL(8)
        for (int q = 0; q < 8; ++q) {
            const PackedSample sample = packed[i + q];
            CPU_UNROLL(4)
            for (int g = 0; g < G; ++g) Addition::add(t[g], binOf(chunk[g], q), sample);
        }
    }
    for (; i < count; ++i) {
        const PackedSample sample = packed[i];
        for (int g = 0; g < G; ++g) {
            const uint32_t b = bins[g][i];
            highest.addOne(g, b);
            Addition::add(t[g], b, sample);
        }
    }
    highestInOut = highest;
}

// The histograms of G features: a run of rows straight from the columns,
// other lists staged a block at a time.
template <class Addition, int G>
CPU_INLINE void fill(const BinnedJob &job, const uint8_t *const *columns, double *const *tables,
                     uint8_t *highestBin) {
    double *t[G];
    for (int g = 0; g < G; ++g) t[g] = tables[g];
    HighestBins<G> highest;
    const uint8_t *bins[G];
    if (job.firstSample >= 0) {
        for (int g = 0; g < G; ++g) bins[g] = columns[g] + job.firstSample;
        fillRun<Addition, G>(bins, job.packed, job.n, t, highest);
    } else {
        alignas(8) uint8_t staged[G][stagedSamples];
        for (int g = 0; g < G; ++g) bins[g] = staged[g];
        for (int32_t i0 = 0; i0 < job.n; i0 += stagedSamples) {
            const int32_t count = job.n - i0 < stagedSamples ? job.n - i0 : stagedSamples;
            stageBins<G>(job, columns, i0, count, staged);
            fillRun<Addition, G>(bins, job.packed + i0, count, t, highest);
        }
    }
    highest.write(highestBin);
}

// A version's fill step: `count` features (1 or featuresPerPass) at once.
template <class Addition>
CPU_INLINE void fillFeatures(const BinnedJob &job, int count, const uint8_t *const *columns,
                             double *const *tables, uint8_t *highestBin) {
    if (count == featuresPerPass)
        fill<Addition, featuresPerPass>(job, columns, tables, highestBin);
    else
        fill<Addition, 1>(job, columns, tables, highestBin);
}

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

// Candidates are evaluated side by side, `L` at a time as one vector of
// doubles: 8 in the AVX-512 version, 2 (one SSE2 register) in the portable
// one; GCC splits wider vectors poorly where the registers are narrower.
// Lanes past the last candidate read zeroed bins and are never looked at.
constexpr int32_t maxCandidateLanes = 8;

// The impurity of every threshold j = 0 .. bins-2 from cumulative row-layout
// histograms of `bins` bins, the last holding the totals. Each lane does
// binnedReference::scanBlock's operations in its order: the class sums from
// +0.0 in class order of (c * m) * (c * m), then splitGini's
// (W_L - S_L / W_L) / W + (W_R - S_R / W_R) / W.
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
            const double c = job.classWeights[k];
            const double *h = table + (k + 1) * stride;
            Lanes mL;
            std::memcpy(&mL, h + j0, sizeof mL);
            const Lanes mR = h[last] - mL;
            SL = SL + (c * mL) * (c * mL);
            SR = SR + (c * mR) * (c * mR);
        }
        const Lanes I = (WL - SL / WL) / job.W + (WR - SR / WR) / job.W;
        std::memcpy(impurity + j0, &I, sizeof I);
    }
}

// binnedReference::scanBlock's strict improvements on G0 in bin order, of
// which only the last is written: what its writes leave behind, the lowest
// bin reaching the lowest impurity. NaN never compares below.
CPU_INLINE void recordBest(const BinnedJob &job, TableBins bins, const double *impurity, int32_t p,
                           const SplitRows &rows) {
    double best = job.G0;
    int32_t bestBin = -1;
    for (int32_t j = 0; j + 1 < bins.count; ++j) {
        if (best > impurity[j]) {
            best = impurity[j];
            bestBin = j;
        }
    }
    if (bestBin < 0) return;
    rows.impurity[p] = best;
    rows.gain[p] = job.G0 - best;
    rows.threshold[p] = static_cast<double>(bins.binOf ? bins.binOf[bestBin] : bestBin);
}

template <int L>
CPU_INLINE void finishRows(const BinnedJob &job, TableBins bins, double *table, double *impurity, int32_t p,
                           const SplitRows &rows) {
    cumulateRows(job, bins.count, table);
    candidateImpurities<L>(job, bins.count, table, impurity);
    recordBest(job, bins, impurity, p, rows);
}

// The bins that a feature's listed samples occupy, as a bitmap, and each
// occupied bin's rank among them in bin order: the number of occupied bins
// below it.
struct OccupiedBins {
    static constexpr int words = binValueCount / 32;
    uint32_t bits[words];
    int32_t below[words + 1];  // occupied bins in the words before

    CPU_INLINE void count() {
        below[0] = 0;
        for (int w = 0; w < words; ++w) below[w + 1] = below[w] + cpu::popcount(bits[w]);
    }
    CPU_INLINE int32_t total() const { return below[words]; }
    CPU_INLINE int32_t rank(uint32_t b) const {
        return below[b / 32] + cpu::popcount(bits[b / 32] & ~(~0u << (b % 32)));
    }
};

// Positions begin .. end-1 over occupied-bin tables, as scanBlock does over
// all bins: per feature, the bitmap of the listed samples' bins, then each
// sample added at its bin's rank in list order (so each bin's additions are
// binnedReference.h's), then the version's `finish`.
template <class Addition, class Finish>
CPU_INLINE Fault scanOccupiedFeatures(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                                      const SplitRows &rows, Finish finish) {
    double *impurity = scratch + occupiedTableDoubles(job);
    uint8_t bins[occupiedBinsLimit];
    uint8_t binOf[binValueCount];
    for (int64_t p = begin; p < end; ++p) {
        const uint8_t *column = job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p];
        OccupiedBins occupied = {};
        for (int32_t i = 0; i < job.n; ++i) {
            const uint32_t b = column[job.nodeSamples[i]];
            bins[i] = static_cast<uint8_t>(b);
            occupied.bits[b / 32] |= 1u << (b % 32);
        }
        occupied.count();
        const int32_t count = occupied.total();
        clearOccupiedTables(job, scratch, count);
        for (int32_t i = 0; i < job.n; ++i) {
            const uint32_t rank = static_cast<uint32_t>(occupied.rank(bins[i]));
            binOf[rank] = bins[i];
            Addition::add(scratch, rank, job.packed[i]);
        }
        if (binOf[count - 1] >= job.B) return Fault::binOutOfRange(p, firstBinAtOrAbove(job, column));
        finish(job, {count, binOf}, 1, &scratch, impurity, static_cast<int32_t>(p), rows);
    }
    return {};
}

}  // namespace split::binned
