// The x86-64 version of the fast sweep: both sides in one SSE2 register,
// right in the low lane, left in the high one. Lane for lane the operations
// are those of referenceSweep (reference.h) in the same order and
// precision: W_R - w and W_L + w, masses likewise, terms ((m * c) * m) * c,
// S less the old term then plus the new; a = (W_L - S_L / W_L) / W,
// b = (W_R - S_R / W_R) / W, I = a + b.
#include "sweepBlock.h"

#ifdef CPU_X86_64
#include <emmintrin.h>

namespace split {

namespace {

struct PairSides {
    __m128d W, S;  // (W_R, W_L), (S_R, S_L)
    PairSides(double W0, double S0) : W(_mm_set_pd(0.0, W0)), S(_mm_set_pd(0.0, S0)) {}
    void move(double w, double c, double *entry) {
        // x + (-w) is x - w to the bit.
        const __m128d step = _mm_set_pd(w, -w);
        const __m128d cPair = _mm_set1_pd(c);
        W = _mm_add_pd(W, step);
        S = _mm_sub_pd(S, _mm_loadu_pd(entry + 2));
        const __m128d m = _mm_add_pd(_mm_loadu_pd(entry), step);
        _mm_storeu_pd(entry, m);
        const __m128d t = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(m, cPair), m), cPair);
        _mm_storeu_pd(entry + 2, t);
        S = _mm_add_pd(S, t);
    }
    double splitGini(double node) const {
        const __m128d side = _mm_div_pd(_mm_sub_pd(W, _mm_div_pd(S, W)), _mm_set1_pd(node));
        return _mm_cvtsd_f64(_mm_unpackhi_pd(side, side)) + _mm_cvtsd_f64(side);
    }
};

}  // namespace

int64_t sweepFeaturesSse2(const SweepContext &ctx, int64_t begin, int64_t end, double *table, const SplitRows &out) {
    return sweepFeaturesWith<PairSides>(ctx, begin, end, table, out);
}

}  // namespace split

#endif
