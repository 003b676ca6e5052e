#include "binnedTables.h"

#include <algorithm>
#include <cassert>

namespace split::binned {

namespace {

size_t wholeLines(size_t doubles) { return (doubles + lineDoubles - 1) / lineDoubles * lineDoubles; }

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
    while (reinterpret_cast<uintptr_t>(doubles) % (lineDoubles * sizeof(double)) != 0) ++doubles;
    return doubles;
}

int32_t occupiedCapacity(int32_t n) { return std::min(n, binValueCount); }

size_t occupiedTableDoubles(const BinnedJob &job) {
    const size_t rows = (static_cast<size_t>(job.K) + 1) * static_cast<size_t>(job.stride);
    return job.layout == Layout::lanes ? laneWidth * binSlots + rows : rows;
}

size_t smallNodeDoubles(int32_t K) {
    const size_t histograms = static_cast<size_t>(K) + 1;
    const size_t perPosition = histograms + candidateSumRows + 1;  // sums, candidates' sums, lower bound
    return smallNodeLanes * smallNodeLimit * perPosition;
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
    assert(!"a scan saw a bin value of B or above that no listed sample holds");
    return -1;
}

}  // namespace split::binned
