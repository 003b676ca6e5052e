#include "binnedBlock.h"

#include <algorithm>

#include "binnedSteps.h"

namespace split::binned {

namespace {

constexpr int32_t lineDoubles = 8;  // doubles per 64-byte cache line

size_t wholeLines(size_t doubles) { return (doubles + lineDoubles - 1) / lineDoubles * lineDoubles; }

// Histograms start from +0.0. Lane tables are read only for bins below B;
// every bin of the row tables is zeroed, since whole blocks of candidates
// read them.
void clearTables(const BinnedJob &job, double *table) {
    const size_t doubles = job.layout == Layout::lanes ? static_cast<size_t>(laneWidth) * job.B
                                                       : (static_cast<size_t>(job.K) + 1) * job.stride;
    std::fill(table, table + doubles, 0.0);
}

// The row tables that lane tables are turned into receive bins 0..B-1 only;
// the bins past them, which the last block of candidates reads, are zeroed
// once.
void clearRowTails(const BinnedJob &job, double *tables) {
    double *table = rowTable(Layout::lanes, tables);
    for (int32_t r = 0; r <= job.K; ++r)
        std::fill(table + static_cast<int64_t>(r) * job.stride + job.B, table + static_cast<int64_t>(r + 1) * job.stride,
                  0.0);
}

void fillPortable(const BinnedJob &job, int count, const uint8_t *const *columns, double *const *tables,
                  uint8_t *highestBin) {
    fillFeatures<RowAddition>(job, count, columns, tables, highestBin);
}

void finishPortable(const BinnedJob &job, TableBins bins, int count, double *const *tables, double *impurity,
                    int32_t p, const SplitRows &rows) {
    for (int g = 0; g < count; ++g) finishRows<2>(job, bins, tables[g], impurity, p + g, rows);
}

Fault scanOccupiedPortable(const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                           const SplitRows &rows) {
    return scanOccupiedFeatures<RowAddition>(job, scratch, begin, end, rows, finishPortable);
}

}  // namespace

int32_t rowStride(int32_t B) { return static_cast<int32_t>(wholeLines(static_cast<size_t>(B))) + lineDoubles; }

size_t featureDoubles(Layout layout, int32_t K, int32_t B) {
    const size_t rows = (static_cast<size_t>(K) + 1) * static_cast<size_t>(rowStride(B)) + binSlots;
    return wholeLines(layout == Layout::lanes ? laneWidth * binSlots + rows : rows);
}

size_t threadDoubles(Layout layout, int32_t K, int32_t B) {
    return featuresPerPass * featureDoubles(layout, K, B) + binSlots;
}

void prepareJob(BinnedJob &job, Layout layout, int32_t bins, PackedSample *packed) {
    job.layout = layout;
    job.stride = rowStride(bins);
    const int64_t first = job.nodeSamples[0];
    bool run = true;
    for (int32_t i = 0; i < job.n; ++i) {
        const uint32_t s = job.nodeSamples[i];
        const int64_t k = static_cast<int64_t>(job.labels[s]) - 1;
        const int64_t key = layout == Layout::lanes ? (int64_t{1} | int64_t{2} << k) : (k + 1) * job.stride;
        packed[i] = {static_cast<double>(job.weights[s]), key};
        run = run && s == first + i;
    }
    job.packed = packed;
    job.firstSample = run ? first : -1;
}

double *rowTable(Layout layout, double *tables) {
    return layout == Layout::lanes ? tables + laneWidth * binSlots : tables;
}

double *alignedScratch(double *doubles) {
    while (reinterpret_cast<uintptr_t>(doubles) % 64 != 0) ++doubles;
    return doubles;
}

BinnedSteps portableSteps(int32_t) { return {Layout::rows, fillPortable, finishPortable, scanOccupiedPortable}; }

BinnedSteps stepsFor(cpu::Isa isa, int32_t K) {
#if defined(CPU_WIDE_SIMD)
    if (isa == cpu::Isa::avx512) return avx512Steps(K);
#endif
    (void)isa;
    return portableSteps(K);
}

Fault scanBlock(const BinnedSteps &steps, const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                const SplitRows &rows) {
    const size_t slot = featureDoubles(job.layout, job.K, job.B);
    double *tables[featuresPerPass];
    for (int g = 0; g < featuresPerPass; ++g) tables[g] = scratch + g * slot;
    double *impurity = scratch + featuresPerPass * slot;
    if (job.layout == Layout::lanes)
        for (double *t : tables) clearRowTails(job, t);

    for (int64_t p = begin; p < end; p += featuresPerPass) {
        const int count = static_cast<int>(std::min<int64_t>(featuresPerPass, end - p));
        const uint8_t *columns[featuresPerPass];
        for (int g = 0; g < count; ++g) {
            columns[g] = job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p + g];
            clearTables(job, tables[g]);
        }
        uint8_t highestBin[featuresPerPass];
        steps.fill(job, count, columns, tables, highestBin);
        // The features before one with a bin value of B or above are scanned.
        int scanned = 0;
        while (scanned < count && highestBin[scanned] < job.B) ++scanned;
        steps.finish(job, {job.B, nullptr}, scanned, tables, impurity, static_cast<int32_t>(p), rows);
        if (scanned < count)
            return Fault::binOutOfRange(p + scanned, firstBinAtOrAbove(job, columns[scanned]));
    }
    return {};
}

int32_t occupiedCapacity(int32_t n) { return std::min(n, binValueCount); }

size_t occupiedTableDoubles(const BinnedJob &job) {
    const size_t rows = (static_cast<size_t>(job.K) + 1) * static_cast<size_t>(job.stride);
    return job.layout == Layout::lanes ? laneWidth * binSlots + rows : rows;
}

size_t smallNodeDoubles(int32_t K) {
    return 8 * (static_cast<size_t>(smallNodeLimit) * (static_cast<size_t>(K) + 1 + 5) + 2 * static_cast<size_t>(K));
}

size_t occupiedThreadDoubles(Layout layout, int32_t K, int32_t n) {
    const size_t bins = static_cast<size_t>(occupiedCapacity(n));
    const size_t rows = (static_cast<size_t>(K) + 1) * static_cast<size_t>(rowStride(occupiedCapacity(n)));
    const size_t tables = (layout == Layout::lanes ? laneWidth * binSlots : 0) + rows + wholeLines(bins);
    return n <= smallNodeLimit ? std::max(tables, smallNodeDoubles(K)) : tables;
}

void clearOccupiedTables(const BinnedJob &job, double *tables, int32_t count) {
    const int64_t cleared = static_cast<int64_t>(wholeLines(static_cast<size_t>(count)));
    if (job.layout == Layout::lanes) {
        std::fill(tables, tables + laneWidth * count, 0.0);
        double *table = rowTable(Layout::lanes, tables);
        for (int64_t r = 0; r <= job.K; ++r)
            std::fill(table + r * job.stride + count, table + r * job.stride + cleared, 0.0);
    } else {
        for (int64_t r = 0; r <= job.K; ++r) std::fill(tables + r * job.stride, tables + r * job.stride + cleared, 0.0);
    }
}

int32_t firstBinAtOrAbove(const BinnedJob &job, const uint8_t *column) {
    for (int32_t i = 0; i < job.n; ++i)
        if (column[job.nodeSamples[i]] >= job.B) return i;
    return -1;
}

}  // namespace split::binned
