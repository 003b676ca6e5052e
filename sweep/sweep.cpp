#include "sweep.h"

#include <cassert>
#include <cmath>
#include <utility>

#include "common/parallel.h"
#include "gini/gini.h"
#include "sweepBlock.h"

#ifdef CPU_X86_64
#include <emmintrin.h>
#endif

namespace split {

namespace {

// A thread's class table starts this many doubles (128 bytes: an aligned
// pair of cache lines) after the one before it, or a multiple of that.
inline constexpr size_t tableAlignment = 128 / sizeof(double);

// Doubles between two tables: K entries rounded up to whole blocks of 128
// bytes, plus one block, so that whatever the alignment of the scratch no two
// threads' tables meet in one aligned pair of cache lines. A gap of one line
// is not enough: the processor fetches lines in such pairs, and two threads
// writing either half of one pair take turns at it
// (docs/performance.md).
size_t tableStride(int32_t K) {
    const size_t doubles = classSlot::count * static_cast<size_t>(K > 0 ? K : 0);
    return (doubles + tableAlignment - 1) / tableAlignment * tableAlignment + tableAlignment;
}

// Every table starts on a 16-byte boundary and so does every pair of an
// entry, which the SSE2 moves read and write as aligned pairs.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16 && tableAlignment % 2 == 0 && classSlot::count % 2 == 0 &&
                  classSlot::rightMass % 2 == 0 && classSlot::rightTerm % 2 == 0 && classSlot::weight % 2 == 0,
              "class table pairs on 16-byte boundaries");

// The start table and one per thread.
size_t tableDoubles(int32_t K, int team) { return tableStride(K) * (static_cast<size_t>(team > 0 ? team : 1) + 1); }

// Both sides in plain doubles.
struct ScalarSides {
    double WR, WL, SR, SL;
    ScalarSides() = default;
    ScalarSides(double W, double S) : WR(W), WL(0.0), SR(S), SL(0.0) {}
    void move(double w, double *entry) {
        const double c = entry[classSlot::weight];
        WR = WR - w;
        WL = WL + w;
        SR = SR - entry[classSlot::rightTerm];
        SL = SL - entry[classSlot::leftTerm];
        const double mR = entry[classSlot::rightMass] - w;
        const double mL = entry[classSlot::leftMass] + w;
        entry[classSlot::rightMass] = mR;
        entry[classSlot::leftMass] = mL;
        entry[classSlot::rightTerm] = classTerm(mR, c);
        entry[classSlot::leftTerm] = classTerm(mL, c);
        SR = SR + entry[classSlot::rightTerm];
        SL = SL + entry[classSlot::leftTerm];
    }
    double splitGini(double W) const { return split::splitGini(WL, SL, WR, SR, W); }
    // The test without division (sweepBlock.h) at one position.
    template <bool checkSides>
    bool surelyNotBelow(double bestTimesW, double threshold) const {
        const double d = (WR * WL) * ((WR + WL) - bestTimesW) - (SL * WR + SR * WL);
        return (!checkSides || (WR > 0.0 && WL > 0.0)) && d > threshold;
    }
    static constexpr int32_t screenGroup = 2;
    template <bool checkSides>
    static unsigned mayBeat(const ScalarSides (&at)[screenGroup], double bestTimesW, double threshold) {
        return (at[0].surelyNotBelow<checkSides>(bestTimesW, threshold) ? 0u : 1u) |
               (at[1].surelyNotBelow<checkSides>(bestTimesW, threshold) ? 0u : 2u);
    }
};

// What packRecords learns of the weights for the test's bound.
struct WeightSummary {
    double size;   // the sum of |w|
    double least;  // the smallest w
};

// Each sample's weight and class side by side.
WeightSummary packRecords(const SweepInput &in, SampleRecord *records) {
    WeightSummary weights{0.0, HUGE_VAL};
    for (int32_t i = 0; i < in.M; ++i) {
        const double w = in.weights[i];
        records[i] = {w, classSlot::count * static_cast<uint64_t>(in.labels[i] - 1u)};
        weights.size = weights.size + std::fabs(w);
        weights.least = w < weights.least ? w : weights.least;
    }
    return weights;
}

int64_t sweepFeaturesPortable(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end,
                              double *table, const SplitRows &out) {
    return sweepFeaturesWith<ScalarSides>(ctx, method, begin, end, table, out);
}

FeatureSweep featureSweep(cpu::Isa version) {
    switch (version) {
#ifdef CPU_X86_64
    case cpu::Isa::sse2:
        return sweepFeaturesSse2;
#endif
#ifdef CPU_WIDE_SIMD
    case cpu::Isa::avx2:
        return sweepFeaturesAvx2;
#endif
    default:
        return sweepFeaturesPortable;
    }
}

// How many copies of the records a team of `team` threads packs.
size_t recordCopies(int32_t M, int team) { return M < ownRecordsBelow && team > 1 ? static_cast<size_t>(team) : 1; }

// 32-bit words of the packed columns, for the whole team.
size_t packedEntries(int32_t M, int team, bool packOrder) {
    if (!packOrder) return 0;
    return packedWords(M) * static_cast<size_t>(team > 0 ? team : 1);
}

}  // namespace

// In tiles of packedTileRows rows by the block's columns: a tile of a
// row-major sortedOrder stays in the first-level cache while each column's
// part of it is written out contiguously.
constexpr size_t packedTileRows = 16;

// A sortedOrder entry as packed: a narrow entry saturates, so that every
// entry of 65536 or more stays outside 0..M-1 (M <= narrowSamples) and the
// sweep stops at it as at the original.
template <class Entry>
inline Entry packedEntry(uint32_t entry) {
    if constexpr (sizeof(Entry) == sizeof(uint32_t)) return entry;
    return static_cast<Entry>(entry > 0xFFFFu ? 0xFFFFu : entry);
}

// Rows i0 ... i0 + rows - 1 of columns c0 ... width - 1 into `packed`.
template <class Entry>
void packTile(const SweepContext &ctx, Entry *packed, const uint32_t *from, size_t i0, size_t rows, int64_t c0,
              int64_t width) {
    const size_t M = static_cast<size_t>(ctx.M);
    const ptrdiff_t rowStep = ctx.orderSteps.row, columnStep = ctx.orderSteps.column;
    for (int64_t c = c0; c < width; ++c) {
        const uint32_t *column = from + static_cast<ptrdiff_t>(i0) * rowStep + c * columnStep;
        Entry *to = packed + static_cast<size_t>(c) * M + i0;
        for (size_t r = 0; r < rows; ++r) to[r] = packedEntry<Entry>(column[static_cast<ptrdiff_t>(r) * rowStep]);
    }
}

template <class Entry>
void packTiles(const SweepContext &ctx, Entry *packed, const uint32_t *from, int64_t width) {
    const size_t M = static_cast<size_t>(ctx.M);
    for (size_t i0 = 0; i0 < M; i0 += packedTileRows)
        packTile(ctx, packed, from, i0, M - i0 < packedTileRows ? M - i0 : packedTileRows, 0, width);
}

#ifdef CPU_X86_64
// Columns c ... c + 3 of the four rows from `row` on, one column a register.
inline void transposeFour(const uint32_t *row, ptrdiff_t rowStep, int64_t c, __m128i (&column)[4]) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + c));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + rowStep + c));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + 2 * rowStep + c));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + 3 * rowStep + c));
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
    column[0] = _mm_unpacklo_epi64(t0, t1);
    column[1] = _mm_unpackhi_epi64(t0, t1);
    column[2] = _mm_unpacklo_epi64(t2, t3);
    column[3] = _mm_unpackhi_epi64(t2, t3);
}

// The low halves of eight entries below 65536, in 16 bits. SSE2 packs with
// signed saturation only: each is sign-extended from its low half first.
inline __m128i lowHalves(__m128i low, __m128i high) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16), _mm_srai_epi32(_mm_slli_epi32(high, 16), 16));
}

// Whether every entry of which `seen` holds the bitwise or is below 65536.
inline bool allNarrow(__m128i seen) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(seen, 16), zero)) == 0xFFFF;
}

// Rows whose entries lie side by side (column step 1), four rows by four
// columns at a time through a transpose in registers; what is left over, as
// packTile does.
void packRowMajor(const SweepContext &ctx, const uint32_t *from, int64_t width) {
    const size_t M = static_cast<size_t>(ctx.M);
    const ptrdiff_t rowStep = ctx.orderSteps.row;
    const int64_t wide = width / 4 * 4;
    size_t i0 = 0;
    for (; i0 + 4 <= M; i0 += 4) {
        const uint32_t *row = from + static_cast<ptrdiff_t>(i0) * rowStep;
        for (int64_t c = 0; c < wide; c += 4) {
            __m128i column[4];
            transposeFour(row, rowStep, c, column);
            uint32_t *to = ctx.packed + static_cast<size_t>(c) * M + i0;
            for (size_t k = 0; k < 4; ++k) _mm_storeu_si128(reinterpret_cast<__m128i *>(to + k * M), column[k]);
        }
        packTile(ctx, ctx.packed, from, i0, 4, wide, width);
    }
    packTile(ctx, ctx.packed, from, i0, M - i0, 0, width);
}

// The rows this many ahead of those packed are fetched where a row's slice
// is at most fetchedSliceColumns entries (four lines): there the processor's
// own fetches fall behind the 16-bit pack (20,000 x 50: 245 us, 209 with the
// fetches); past that they keep up, and the fetches cost more than they save
// (10,000 x 100: 247 us, 365 with them; bench/results/2026-12-10-pack16-intel.md).
constexpr size_t packAheadRows = 16;
constexpr int64_t fetchedSliceColumns = 64;

// Eight rows' slices of columns 0 ... width - 1, each line of them.
inline void fetchSlices(const uint32_t *row, ptrdiff_t rowStep, int64_t width) {
    const ptrdiff_t bytes = static_cast<ptrdiff_t>(width) * static_cast<ptrdiff_t>(sizeof(uint32_t));
    for (ptrdiff_t r = 0; r < 8; ++r) {
        const char *slice = reinterpret_cast<const char *>(row + r * rowStep);
        for (ptrdiff_t b = 0; b < bytes; b += 64) _mm_prefetch(slice + b, _MM_HINT_T0);
        _mm_prefetch(slice + bytes - 1, _MM_HINT_T0);
    }
}

// The same into 16-bit entries, eight rows at a time: a store of a whole
// register per column.
void packRowMajorNarrow(const SweepContext &ctx, const uint32_t *from, int64_t width) {
    const size_t M = static_cast<size_t>(ctx.M);
    const ptrdiff_t rowStep = ctx.orderSteps.row;
    const int64_t wide = width / 4 * 4;
    size_t i0 = 0;
    for (; i0 + 8 <= M; i0 += 8) {
        const uint32_t *row = from + static_cast<ptrdiff_t>(i0) * rowStep;
        if (width <= fetchedSliceColumns && i0 + packAheadRows + 8 <= M)
            fetchSlices(row + static_cast<ptrdiff_t>(packAheadRows) * rowStep, rowStep, width);
        __m128i seen = _mm_setzero_si128();
        for (int64_t c = 0; c < wide; c += 4) {
            __m128i low[4], high[4];
            transposeFour(row, rowStep, c, low);
            transposeFour(row + 4 * rowStep, rowStep, c, high);
            uint16_t *to = ctx.narrowPacked + static_cast<size_t>(c) * M + i0;
            for (size_t k = 0; k < 4; ++k) {
                seen = _mm_or_si128(seen, _mm_or_si128(low[k], high[k]));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(to + k * M), lowHalves(low[k], high[k]));
            }
        }
        // Only a bad entry reaches 65536: its rows are packed again, saturated.
        packTile(ctx, ctx.narrowPacked, from, i0, 8, allNarrow(seen) ? wide : 0, width);
    }
    packTile(ctx, ctx.narrowPacked, from, i0, M - i0, 0, width);
}
#endif

void packColumns(const SweepContext &ctx, int64_t first, int64_t last) {
    const uint32_t *from = ctx.sortedOrder + static_cast<ptrdiff_t>(first) * ctx.orderSteps.column;
    const int64_t width = last - first;
#ifdef CPU_X86_64
    if (ctx.orderSteps.column == 1)
        return ctx.narrowPacked ? packRowMajorNarrow(ctx, from, width) : packRowMajor(ctx, from, width);
#endif
    if (ctx.narrowPacked) return packTiles(ctx, ctx.narrowPacked, from, width);
    packTiles(ctx, ctx.packed, from, width);
}

int32_t packedColumns(int32_t M) {
    const size_t entry = M <= narrowSamples ? sizeof(uint16_t) : sizeof(uint32_t);
    const int32_t most = M <= narrowSamples ? narrowPackedWidth : packedWidth;
    const size_t fit = packedBytes / (entry * static_cast<size_t>(M > 1 ? M : 1));
    return fit >= static_cast<size_t>(most) ? most : fit < 1 ? 1 : static_cast<int32_t>(fit);
}

size_t packedWords(int32_t M) {
    if (M < 1) return 0;
    const size_t entry = M <= narrowSamples ? sizeof(uint16_t) : sizeof(uint32_t);
    const size_t bytes = static_cast<size_t>(packedColumns(M)) * static_cast<size_t>(M) * entry;
    return (bytes + sizeof(uint32_t) - 1) / sizeof(uint32_t);
}

SweepScratch::SweepScratch(int32_t M, int32_t K, int team, bool packOrder)
    : records(new SampleRecord[static_cast<size_t>(M > 0 ? M : 0) * recordCopies(M, team)]),
      tables(new double[tableDoubles(K, team)]),
      packed(packOrder ? new uint32_t[packedEntries(M, team, packOrder)] : nullptr),
      faults(static_cast<size_t>(team > 0 ? team : 1)) {}

uint64_t SweepScratch::bytes(int32_t M, int32_t K, int team, bool packOrder) {
    return static_cast<uint64_t>(M > 0 ? M : 0) * recordCopies(M, team) * sizeof(SampleRecord) +
           tableDoubles(K, team) * sizeof(double) + packedEntries(M, team, packOrder) * sizeof(uint32_t) +
           static_cast<uint64_t>(team > 0 ? team : 1) * sizeof(Fault);
}

ColumnMethod columnMethod(ColumnMethod method, int32_t M, bool screenable) {
    if (method == ColumnMethod::byLength) method = M >= screenFrom ? ColumnMethod::screened : ColumnMethod::perPosition;
    return screenable ? method : ColumnMethod::perPosition;
}

int sweepTeam(int32_t M, int32_t N, int most) {
    const int64_t work = static_cast<int64_t>(M > 0 ? M : 0) * (N > 0 ? N : 0);
    int64_t team = work / teamWorkPerThread;
    for (const int64_t bound : {static_cast<int64_t>(teamLimit), static_cast<int64_t>(N), static_cast<int64_t>(most)})
        if (team > bound) team = bound;
    return team < 1 ? 1 : static_cast<int>(team);
}

Fault scanSortedFeatures(const SweepInput &in, const NodeTotals &node, const SplitRows &out, int team,
                         SweepScratch &scratch) {
    // Asked once per process, not per call.
    static const cpu::Isa fastest = cpu::fastest(sweepVersions);
    return scanSortedFeaturesWith(fastest, ColumnMethod::byLength, in, node, out, team, scratch);
}

Fault scanSortedFeaturesWith(cpu::Isa version, ColumnMethod method, const SweepInput &in, const NodeTotals &node,
                             const SplitRows &out, int team, SweepScratch &scratch) {
    assert(team >= 1 && scratch.faults.size() >= static_cast<size_t>(team));
    if (in.M < 1 || in.N < 1) return {};

    // Independent of the feature, so done once: the table every sweep
    // starts from and the class weights' part of the test's bound.
    double classWeightSize = 0.0;
    double *startTable = scratch.tables.get();
    for (int32_t k = 0; k < in.K; ++k) {
        const double c = in.classWeights[k];
        classWeightSize = std::fmax(classWeightSize, std::fabs(c));
        double *entry = startTable + static_cast<size_t>(classSlot::count) * k;
        entry[classSlot::rightMass] = node.classMass[k];
        entry[classSlot::leftMass] = 0.0;
        entry[classSlot::rightTerm] = classTerm(node.classMass[k], c);
        entry[classSlot::leftTerm] = classTerm(0.0, c);
        entry[classSlot::weight] = c;
        entry[classSlot::weightAgain] = c;
    }
    const FeatureSweep sweep = featureSweep(version);
    const size_t stride = tableStride(in.K);
    for (Fault &f : scratch.faults) f = {};

    // One copy of the records for the team, or one per thread (ownRecordsBelow).
    const bool ownRecords = recordCopies(in.M, team) > 1;
    const WeightSummary sharedWeights = ownRecords ? WeightSummary{} : packRecords(in, scratch.records.get());

    parallel::runTeam(team, [&](int thread, int threads) {
        SampleRecord *records = scratch.records.get();
        WeightSummary weights = sharedWeights;
        if (ownRecords) {
            records += static_cast<size_t>(thread) * static_cast<size_t>(in.M);
            weights = packRecords(in, records);
        }
        const ScreenBound screen = ScreenBound::of(in.M, weights.size, weights.least, classWeightSize);
        // A team made without packed columns for a sortedOrder whose columns
        // are not contiguous is a caller's fault: assert() catches it in the
        // tests.
        uint32_t *packed = nullptr;
        uint16_t *narrowPacked = nullptr;
        if (!in.orderSteps.contiguousColumns()) {
            assert(scratch.packed);
            packed = scratch.packed.get() + static_cast<size_t>(thread) * packedWords(in.M);
            if (in.M <= narrowSamples) narrowPacked = reinterpret_cast<uint16_t *>(std::exchange(packed, nullptr));
        }
        const SweepContext ctx{in.X,         in.sortedOrder, in.classWeights, records,      startTable,
                               node,         screen,         in.M,            in.K,         in.xSteps,
                               in.orderSteps, packed,        narrowPacked,    packedColumns(in.M)};
        // fmax passes over a NaN: one makes the weights' sum NaN instead, or
        // is a class weight that no sample carries. The test's argument
        // needs a positive W. Screening a column that fails here would give
        // the same bits where the bound is not finite or W is 0 (best W is
        // then not a number): no position passes the test. A negative W
        // leaves both sides positive only by the running sums' drift, which
        // the bound does not follow; such columns are divided out.
        const bool screenable = node.W > 0.0 && std::isfinite(node.W) && screen.finite();
        double *table = startTable + stride * (static_cast<size_t>(thread) + 1);
        const parallel::Range block = parallel::staticBlock(in.N, threads, thread);
        const int64_t bad = sweep(ctx, columnMethod(method, in.M, screenable), block.begin, block.end, table, out);
        if (bad != noBadEntry) scratch.faults[thread] = Fault::sampleOutOfRange(bad);
    });
    // Each block stops at its first bad entry and lies before the next
    // thread's: the first fault in thread order is the lowest feature's.
    for (const Fault &f : scratch.faults)
        if (f.kind != Fault::Kind::none) return f;
    return {};
}

}  // namespace split
