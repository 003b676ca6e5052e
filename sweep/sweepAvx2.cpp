// The SSE2 version's code (pairSides.h) built for AVX2: the same operations
// in the same order, in three-operand instructions that need no copies of
// the registers they overwrite, and with each weight's step in one addsub,
// which a long column's sweep is short of (docs/performance.md). Built with
// function attributes, so the rest of a module stays plain x86-64.
#include "sweepBlock.h"

#ifdef CPU_WIDE_SIMD
#include <immintrin.h>

CPU_AVX2_FUNCTIONS
#include "pairSides.h"

namespace split {

namespace {

// Both lanes' steps in one instruction: addsub gives (x_R - w, x_L + w) from
// (x_R, x_L) and (w, w), each lane the subtraction or addition of
// referenceSweep, without making -w first.
struct AddSubStep {
    static __m128d of(double w) { return _mm_set1_pd(w); }
    static __m128d apply(__m128d pair, __m128d step) { return _mm_addsub_pd(pair, step); }
};

}  // namespace

// Flattened: the shared loops from sweepBlock.h are built into it for AVX2.
CPU_FLATTEN int64_t sweepFeaturesAvx2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end,
                                      double *table, const SplitRows &out) {
    return sweepFeaturesWith<PairSides<AddSubStep>>(ctx, method, begin, end, table, out);
}

}  // namespace split
CPU_END_FUNCTIONS

#endif
