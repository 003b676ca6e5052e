// The histograms' additions that every version shares, as inline code that
// each version compiles for its own instruction set. A version supplies only
// its addition of one sample (see fillRun). Nothing here uses instructions
// beyond the x86-64 baseline.
#pragma once

#include <cstring>

#include "binnedTables.h"
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
// sample's class, each as the scalar addition of the reference.
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

}  // namespace split::binned
