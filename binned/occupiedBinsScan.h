// The scan of a block of features over tables of the occupied bins only
// (BinnedTables::occupiedBins), which every version compiles with its own
// addition and finish step.
#pragma once

#include "binnedTables.h"
#include "common/cpu.h"

namespace split::binned {

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

// Positions begin .. end-1 over occupied-bin tables, as scanAllBins does over
// all bins: per feature, the bitmap of the listed samples' bins, then each
// sample added at its bin's rank in list order (so each bin's additions are
// the reference's), then the version's `finish`.
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
