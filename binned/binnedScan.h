// Split search over 8-bit binned features: for every listed feature, the
// lowest class-weighted split impurity over all thresholds between adjacent
// bins, found from cumulative class histograms of the node's samples.
//
// reference.h holds the same search written plainly, one operation at a time
// in the order that fixes every output bit; read it first. Every variant
// below performs exactly its operations, several bins, features or
// candidates at a time, and gives its bits.
//
// Variants (n listed samples, B' = min(B, 256) bins scanned):
//
//   instruction set  node size             tables              candidates                 file
//   portable         n <= min(B', 256)     occupied bins       exact, 2 at a time         binnedPortable.cpp
//   portable         larger                all B' bins         exact, 2 at a time         binnedPortable.cpp
//   AVX2, AVX-512    n <= min(B', 32)      none: each lane's   bounded, then exact where  smallNode.h
//                                          samples sorted      one can win; 8 features
//                                          by bin              at a time
//   AVX2, AVX-512,   up to min(B', 256)    occupied bins       exact or bounded (*)       vectorSteps.h,
//   NEON                                                                                  laneSteps.h
//   AVX2, AVX-512,   larger                all B' bins         exact or bounded (*)       vectorSteps.h,
//   NEON                                                                                  laneSteps.h
//
//   (*) exact, a vector at a time, for tables of at most 16 bins; above that
//   every candidate bounded first and only those that can win evaluated
//   exactly (boundedPick.h). On x86-64 with K <= 3 the tables hold a bin's
//   histograms in four lanes (the lane layout, binnedTables.h); NEON keeps
//   rows, and its small nodes take the occupied-bin tables.
//
// The vector versions share one copy of each loop: vectorSteps.h,
// laneSteps.h, boundedPick.h, smallNode.h and impurityBounds.h are
// templates over a set of lane operations, which each instruction set
// supplies in a file of its own (lanesAvx2.h, lanesAvx512.h, lanesNeon.h;
// AVX2's small nodes take eight lanes as two vectors, doublePair.h) and
// instantiates in one source built for it (binnedAvx2.cpp,
// binnedAvx512.cpp, binnedNeon.cpp).
//
// binnedScan runs the fastest instruction set that this processor runs
// within the cap of CRESTSPLIT_ISA (cpu::fastest over binnedVersions),
// chosen once per process; binnedScanWith runs a chosen one. The other
// files: binnedScan.cpp (the call: totals, team, scratch, region),
// binnedTables.h (the layout of a thread's tables), histogramFill.h (the
// histograms' additions), candidateScan.h (prefix sums, candidates, the
// pick), allBinsScan.cpp and occupiedBinsScan.h (the scans of a block of
// features over all bins and over occupied bins only).
#pragma once

#include <algorithm>
#include <cstdint>

#include "common/cpu.h"
#include "gini/fault.h"
#include "gini/rows.h"

namespace split {

namespace binned {
struct PackedSample;
enum class Layout { rows, lanes };
}  // namespace binned

// Everything the workers of one search read, fixed before the region.
struct BinnedJob {
    // The call's inputs.
    const uint8_t *binnedData;          // M rows (samples), one column per feature
    int32_t M;
    const uint32_t *labels;             // one-based class per sample
    const float *weights;               // per sample
    const uint32_t *nodeSamples;        // n zero-based sample numbers
    int32_t n;
    const uint32_t *candidateFeatures;  // F zero-based column numbers
    int32_t F;
    const double *classWeights;         // K
    int32_t K;
    int32_t B;                          // number of bins
    // The node's total weight and impurity (binnedNodeTotals).
    double W = 0.0;
    double G0 = 0.0;
    // Set by binnedScan for its own workers (not for a version's small
    // nodes, whose scan reads the listed samples itself): the listed samples
    // packed in list order, nodeSamples[0] when the list is a run of
    // consecutive rows (else -1), the distance between histogram rows and the
    // tables' layout.
    const binned::PackedSample *packed = nullptr;
    int64_t firstSample = -1;
    int32_t stride = 0;
    binned::Layout layout = binned::Layout::rows;
};

// Bin values are 8-bit: bins from this one up never hold a sample.
constexpr int32_t binValueCount = 256;

// The bins a scan walks: thresholds at bin 255 and above have nothing on
// their right (their impurity is NaN, never recorded), and the last of 256
// bins holds the totals bit for bit, so 256 bins give the results of any
// larger B.
inline int32_t scannedBins(int32_t B) { return std::min(B, binValueCount); }

// How a scan holds a feature's histograms. allBins: a row of B bins per
// histogram, filled straight from the bin values; what a feature costs
// beyond its samples grows with B. occupiedBins: a row of only the bins
// that the listed samples occupy, in bin order (at most n), and thresholds
// at those bins only. Both give the reference's bits: a threshold inside a
// run of empty bins reads the sums of the occupied bin that starts the run
// to the last bit (across an empty bin the prefix sums add an exact zero),
// and that bin comes first and so wins every tie; below the lowest occupied
// bin the left side weighs +0 and the impurity is NaN, never recorded.
enum class BinnedTables { allBins, occupiedBins };
inline constexpr BinnedTables binnedTableKinds[] = {BinnedTables::allBins, BinnedTables::occupiedBins};

// Occupied bins for lists of at most this many samples (those whose bins
// are ranked in one block, occupiedBinsScan.h).
constexpr int32_t occupiedBinsLimit = 256;

// The kind binnedScan takes: occupied bins for lists of at most B samples
// (and at most occupiedBinsLimit), all bins above that. Occupied-bin tables
// cost more per sample (each sample's bin is ranked before it is added) and
// less per feature (nothing grows with B); the two meet at about B samples
// (docs/performance.md).
BinnedTables binnedTablesFor(const BinnedJob &job);

// The team binnedScan should run for a job: results never depend on it, so
// a call whose work is too small to gain from a second thread runs on one.
// Never more than `team`, the caller's bound, and never fewer than 1.
int binnedTeam(const BinnedJob &job, int team);

// The one memory check of a call, made before any scratch: outOfMemory with
// the bytes that binnedNodeTotals and binnedScan on `team` threads would ask
// for (the node's class table, the packed samples and every thread's
// tables) and the bytes the system reports available, when they are large
// and more than that; no fault otherwise.
Fault binnedScratchCheck(const BinnedJob &job, int team);

// Sets W and G0 over the listed samples, each class's term divided by W
// twice. Labels of listed samples lie in 1..K, K >= 1. Fails (outOfMemory)
// when the class table cannot be allocated.
Fault binnedNodeTotals(BinnedJob &job);

// The whole parallel phase on a team of at most `team` threads, each taking
// a contiguous block of candidate positions. Scratch (the listed samples'
// classes and weights packed in list order, and every thread's tables) is
// made before the region; no failure leaves a worker. Needs W and G0, B >= 1
// and K >= 1 when n > 0, labels of listed samples in 1..K, sample numbers
// below M and feature numbers inside binnedData. Results do not depend on
// `team`. Fails with outOfMemory (the scratch that could not be allocated)
// or binOutOfRange (the lowest candidate position whose column holds a bin
// value of B or above for a listed sample, and the list position of the
// first such sample).
Fault binnedScan(const BinnedJob &job, const SplitRows &rows, int team);

// The versions of the scan; all give the same bits.
inline constexpr cpu::Isa binnedVersions[] = {cpu::Isa::portable, cpu::Isa::avx2, cpu::Isa::avx512,
                                                cpu::Isa::neon};

// binnedScan with a chosen version, which must run here (cpu::runs), and a
// chosen kind of tables (occupied bins only for lists of up to
// occupiedBinsLimit samples; longer ones take all bins).
Fault binnedScanWith(cpu::Isa isa, BinnedTables tables, const BinnedJob &job, const SplitRows &rows, int team);

}  // namespace split
