// The layout of a binned scan's tables: how one thread's scratch holds the
// histograms of the features it scans, how the listed samples are packed
// for the passes that fill them, and the sizes of both.
//
// Every bin of every histogram still receives its additions one by one in
// list order, and every candidate that can win is evaluated with the
// operations of the reference, so all versions give its bits. What differs is
// the work around them: the samples' classes and weights are packed once per
// call in list order, the histograms of two features are filled in one pass,
// the histograms of small nodes hold only the bins their samples occupy
// (BinnedTables), and the candidates' impurities are computed side by side
// before the first strict improvement is picked in bin order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binnedScan.h"

namespace split::binned {

// Every 8-bit value has a bin in every table, so even a bin value of B or
// above lands inside a feature's tables; such a feature is reported, never
// scanned.
constexpr int32_t binSlots = binValueCount;

constexpr int32_t lineDoubles = 8;  // doubles per 64-byte cache line

// Row layout: one row of bins over all classes, then one row per class, each
// `stride` doubles: B rounded up to a whole cache line, plus one more line so
// that rows of 256 bins do not lie a multiple of 4 KiB apart, which makes the
// processor take their loads and stores for one another. A bin value of up to
// 255 past the last row still falls in the table's tail.
int32_t rowStride(int32_t B);

// Lane layout, for K <= 3: per bin four doubles, the bin over all classes and
// then classes 0..2, so that one sample's two additions are one vector
// operation. The histograms are turned into the row layout when cumulated.
constexpr int32_t laneWidth = 4;
constexpr int32_t laneClasses = laneWidth - 1;

// The histograms of this many features are filled in one pass: the packed
// samples are read once for all of them, and where one feature's samples fall
// into the same bin in a row, the other feature's additions fill the wait.
constexpr int featuresPerPass = 2;

// One listed sample as every pass reads it, in list order.
struct PackedSample {
    double weight;  // widened once
    // Row layout: the distance (1 + k) * stride from the row over all classes
    // to the row of its class k. Lane layout: the mask of its two lanes,
    // lane 0 and lane 1 + k.
    int64_t key;
};

// Sets what a job's workers read besides the call's values: the layout, the
// row stride (for rows of `bins` bins), and the listed samples (n >= 1,
// labels in 1..K) packed into `packed` in list order.
void prepareJob(BinnedJob &job, Layout layout, int32_t bins, PackedSample *packed);

// Doubles of one feature's tables and of one thread's scratch (the tables of
// featuresPerPass features, then the candidates' impurities); whole cache
// lines, so every table starts on one when the scratch does.
size_t featureDoubles(Layout layout, int32_t K, int32_t B);
size_t threadDoubles(Layout layout, int32_t K, int32_t B);

// The bins of one feature's row-layout tables: `count` of them, bin j
// standing for bin binOf[j] (all-bin tables: itself, binOf null).
struct TableBins {
    int32_t count;
    const uint8_t *binOf;
};

// Where `finish` leaves a feature's cumulative histograms, in the row layout.
double *rowTable(Layout layout, double *tables);

// The first 64-byte boundary in `doubles` (which holds lineDoubles - 1
// doubles more than the tables it is for).
double *alignedScratch(double *doubles);

// Nodes of at most this many samples: the x86-64 vector versions scan their
// occupied bins a vector of features at a time (smallNode.h), with a
// thread's scratch of smallNodeDoubles: per sorted position the cumulative
// sums of K + 1 histograms, the candidates' square sums (S_L, S_R) and
// lower bounds, for up to eight features.
constexpr int32_t smallNodeLimit = 32;
constexpr int smallNodeLanes = 8;    // the most features scanned side by side
constexpr int candidateSumRows = 2;  // S_L, S_R
size_t smallNodeDoubles(int32_t K);

// Occupied-bin tables (ScanVersion::scanOccupied) for n <= occupiedBinsLimit:
// a job prepared for the version's layout with rows of occupiedCapacity(n)
// bins, and a thread's scratch of occupiedThreadDoubles (cache-line
// aligned): one feature's tables (occupiedTableDoubles), then its
// candidates' impurities.
int32_t occupiedCapacity(int32_t n);
size_t occupiedTableDoubles(const BinnedJob &job);
size_t occupiedThreadDoubles(Layout layout, int32_t K, int32_t n);

// Zeroes what a feature's occupied-bin tables of `count` bins read before
// they write it: its histograms over those bins, and in every row the bins
// past them up to a whole cache line, which blocks of candidates read. Out
// of line: in the AVX-512 version GCC would make string instructions of the
// loops, which cost more than they save at these lengths.
void clearOccupiedTables(const BinnedJob &job, double *tables, int32_t count);

// The list position of a feature's first listed sample whose bin value is B
// or above; looked for only when a scan saw one.
int32_t firstBinAtOrAbove(const BinnedJob &job, const uint8_t *column);

}  // namespace split::binned
