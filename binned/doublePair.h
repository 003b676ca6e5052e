// Eight doubles as two four-lane vectors: the values of the AVX2 small-node
// lanes (Avx2PairLanes, lanesAvx2.h). The arithmetic is the compilers'
// vector operators, defined for no instruction set of its own, so that the
// shared templates built outside the AVX2 region (addClassTerms) inline it
// there as they do a plain vector. Include before that region.
#pragma once

#include <immintrin.h>

#include "common/cpu.h"

namespace split::binned {

struct DoublePair {
    __m256d lo, hi;  // lanes 0..3, 4..7
};

// Operands by reference: a function built without AVX passes no 32-byte
// vector by value.
CPU_INLINE DoublePair operator+(const DoublePair &a, const DoublePair &b) { return {a.lo + b.lo, a.hi + b.hi}; }
CPU_INLINE DoublePair operator-(const DoublePair &a, const DoublePair &b) { return {a.lo - b.lo, a.hi - b.hi}; }
CPU_INLINE DoublePair operator*(const DoublePair &a, const DoublePair &b) { return {a.lo * b.lo, a.hi * b.hi}; }

}  // namespace split::binned
