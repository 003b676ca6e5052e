// What one instruction-set version of the binned scan supplies
// (binnedPortable.cpp, binnedAvx2.cpp, binnedAvx512.cpp, binnedNeon.cpp),
// and the scans of a block of features that they share. binnedScan.cpp
// chooses the version (versionFor).
#pragma once

#include <cstdint>

#include "binnedTables.h"

namespace split::binned {

// One version's steps. `fill` adds the samples of `count` features (1 or
// featuresPerPass) into their zeroed tables in one pass, noting each feature's
// highest bin value. `finish` makes the histograms of `count` features (at
// most featuresPerPass; positions p, p + 1, ...) cumulative in the row
// layout, evaluates every threshold and writes a feature's outputs when one
// beats G0. `scanOccupied` is scanAllBins over occupied-bin tables; for
// nodes of at most `smallNodes` samples it reads the listed samples itself,
// so their packing is left out.
struct ScanVersion {
    Layout layout;
    void (*fill)(const BinnedJob &job, int count, const uint8_t *const *columns, double *const *tables,
                 uint8_t *highestBin);
    void (*finish)(const BinnedJob &job, TableBins bins, int count, double *const *tables, double *impurity,
                   int32_t p, const SplitRows &rows);
    Fault (*scanOccupied)(const BinnedJob &job, double *scratch, int64_t begin, int64_t end, const SplitRows &rows);
    int32_t smallNodes;
};

// The version for an instruction set (one of binnedVersions) and K classes.
ScanVersion versionFor(cpu::Isa isa, int32_t K);
ScanVersion portableVersion();
#if defined(CPU_WIDE_SIMD)
ScanVersion avx2Version(int32_t K);
ScanVersion avx512Version(int32_t K);
#endif

// The NEON version needs GCC's or Clang's vector operators on NEON types.
#if defined(CPU_ARM64) && defined(__GNUC__)
#define CPU_BINNED_NEON 1
ScanVersion neonVersion();
#endif

// Scans candidate positions begin .. end-1 in order over all-bin tables with
// one thread's scratch (threadDoubles, cache-line aligned), stopping at the
// first feature that holds a bin value of B or above for a listed sample, as
// the reference does.
Fault scanAllBins(const ScanVersion &version, const BinnedJob &job, double *scratch, int64_t begin, int64_t end,
                  const SplitRows &rows);

}  // namespace split::binned
