// The x86-64 version of the fast sweep: both sides of the split in one SSE2
// register (pairSides.h).
#include "sweepBlock.h"

#ifdef CPU_X86_64
#include "pairSides.h"

namespace split {

int64_t sweepFeaturesSse2(const SweepContext &ctx, ColumnMethod method, int64_t begin, int64_t end, double *table,
                          const SplitRows &out) {
    return sweepFeaturesWith<PairSides<NegatedStep>, sse2PrefetchFrom>(ctx, method, begin, end, table, out);
}

}  // namespace split

#endif
