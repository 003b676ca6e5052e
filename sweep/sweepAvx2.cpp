// The SSE2 version's code (pairSides.h) built for AVX2: the same operations
// in the same order, in three-operand instructions that need no copies of
// the registers they overwrite, which a long column's sweep is short of
// (docs/performance.md). Built with function attributes, so the rest of a
// module stays plain x86-64.
#include "sweepBlock.h"

#ifdef CPU_WIDE_SIMD
#include <emmintrin.h>

CPU_AVX2_FUNCTIONS
#include "pairSides.h"

namespace split {

// Flattened: the shared loops from sweepBlock.h are built into it for AVX2.
CPU_FLATTEN int64_t sweepFeaturesAvx2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end,
                                      double *table, const SplitRows &out) {
    return sweepFeaturesWith<PairSides>(ctx, method, begin, end, table, out);
}

}  // namespace split
CPU_END_FUNCTIONS

#endif
