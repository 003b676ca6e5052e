// The instruction sets that kernels have versions for, whether this build has
// them and this processor runs them, and the compiler features the kernels
// use, each behind one name so that every kernel source compiles with GCC,
// Clang and the Microsoft compiler. No kernel file uses a builtin, attribute
// or pragma of its own.
#pragma once

#include <bitset>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

// x86-64: SSE2 is always there.
#if defined(__x86_64__) || defined(_M_X64)
#define CPU_X86_64 1
#endif

// 64-bit Arm: NEON (Advanced SIMD) is always there.
#if defined(__aarch64__) || defined(_M_ARM64)
#define CPU_ARM64 1
#endif

// The AVX2 and AVX-512 versions are built by GCC and Clang for x86-64, with
// a target attribute per function so that the rest of a module stays plain
// x86-64. Not on Windows: MinGW's GCC cannot align the stack for spilled 32-
// and 64-byte vectors, and the Microsoft compiler has no target attributes.
#if defined(CPU_X86_64) && defined(__GNUC__) && !defined(_WIN32)
#define CPU_WIDE_SIMD 1
#define CPU_AVX512 __attribute__((target("avx512f,avx512vl")))
// Hides what the compiler knows of a vector variable's value, so that it
// handles the vector whole (for instance stores it whole rather than only
// the lanes it knows changed). Generates no instruction.
#define CPU_OPAQUE_VECTOR(v) __asm__("" : "+v"(v))
#endif

#if defined(__GNUC__)
#define CPU_INLINE inline __attribute__((always_inline))
#define CPU_FLATTEN __attribute__((flatten))
#define CPU_PRAGMA(text) _Pragma(#text)
#define CPU_UNROLL(n) CPU_PRAGMA(GCC unroll n)
#elif defined(_MSC_VER)
#define CPU_INLINE __forceinline
#define CPU_FLATTEN
#define CPU_UNROLL(n)
#else
#define CPU_INLINE inline
#define CPU_FLATTEN
#define CPU_UNROLL(n)
#endif

// A symbol that a module exports (every other one is hidden); Windows DLLs
// export what their .def file names instead.
#if defined(__GNUC__) && !defined(_WIN32)
#define CPU_VISIBLE __attribute__((visibility("default")))
#else
#define CPU_VISIBLE
#endif

// Checks a printf-style format (argument f) against the arguments from a on.
// MinGW's plain printf is the Windows runtime's, without %zu; the messages
// are formatted by the C99 one that MinGW's C++ library selects.
#if defined(__MINGW32__)
#define CPU_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define CPU_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define CPU_PRINTF_FORMAT(f, a)
#endif

// Every function defined between CPU_AVX2_FUNCTIONS (or CPU_AVX512_FUNCTIONS)
// and CPU_END_FUNCTIONS is built for AVX2 (AVX-512, as if it had CPU_AVX512):
// for a loop template written once and instantiated for an instruction set in a
// file of its own, with lane operations that pass vector registers by value
// (which functions built without the instruction set cannot do). Include
// every other header before the region: an inline function defined inside
// it would be built for the instruction set wherever it is used.
#if defined(CPU_WIDE_SIMD) && defined(__clang__)
#define CPU_AVX2_FUNCTIONS CPU_PRAGMA(clang attribute push(__attribute__((target("avx2"))), apply_to = function))
#define CPU_AVX512_FUNCTIONS \
    CPU_PRAGMA(clang attribute push(__attribute__((target("avx512f,avx512vl"))), apply_to = function))
#define CPU_END_FUNCTIONS CPU_PRAGMA(clang attribute pop)
#elif defined(CPU_WIDE_SIMD)
#define CPU_AVX2_FUNCTIONS CPU_PRAGMA(GCC push_options) CPU_PRAGMA(GCC target("avx2"))
#define CPU_AVX512_FUNCTIONS CPU_PRAGMA(GCC push_options) CPU_PRAGMA(GCC target("avx512f,avx512vl"))
#define CPU_END_FUNCTIONS CPU_PRAGMA(GCC pop_options)
#endif

namespace cpu {

// Slowest first on each architecture; a kernel's versions are a subset.
// NEON is arm64's only vector set and ranks above the portable loop alone.
enum class Isa { portable, sse2, avx2, avx512, neon };

inline const char *name(Isa isa) {
    switch (isa) {
    case Isa::sse2: return "sse2";
    case Isa::avx2: return "avx2";
    case Isa::avx512: return "avx512";
    case Isa::neon: return "neon";
    default: return "portable";
    }
}

// Whether versions for `isa` are built here and this processor runs them.
// AVX-512 means the foundation and the 128/256-bit forms (VL), which every
// processor with AVX-512 since 2017 has.
inline bool runs(Isa isa) {
    switch (isa) {
    case Isa::portable:
        return true;
#if defined(CPU_X86_64)
    case Isa::sse2:
        return true;
#endif
#if defined(CPU_WIDE_SIMD)
    case Isa::avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case Isa::avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#endif
#if defined(CPU_ARM64)
    case Isa::neon:
        return true;
#endif
    default:
        return false;
    }
}

// The environment variable that caps what the dispatch picks, for tests,
// benchmarks and a user who suspects a version: portable, sse2, avx2,
// avx512 or neon. Read once per process; a value it does not know, or none,
// caps nothing.
inline constexpr const char *capVariable = "CRESTSPLIT_ISA";

// Whether `isa` lies within the cap: on x86-64 the sets nest (portable <
// sse2 < avx2 < avx512); NEON is allowed by any cap but portable.
inline bool withinCap(Isa isa, Isa cap) {
    if (isa == Isa::portable || cap == isa) return true;
    if (cap == Isa::portable) return false;
    if (isa == Isa::neon) return true;
    return cap != Isa::neon && static_cast<int>(isa) <= static_cast<int>(cap);
}

// The cap the environment sets (avx512, the widest x86 set, where none is set).
inline Isa cap() {
    static const Isa value = [] {
        const char *text = std::getenv(capVariable);
        for (Isa isa : {Isa::portable, Isa::sse2, Isa::avx2, Isa::avx512, Isa::neon})
            if (text && std::strcmp(text, name(isa)) == 0) return isa;
        return Isa::avx512;
    }();
    return value;
}

// The fastest of a kernel's versions that runs here and lies within the cap
// (the portable one is always among them).
template <int N>
inline Isa fastest(const Isa (&versions)[N]) {
    Isa best = Isa::portable;
    for (Isa isa : versions)
        if (static_cast<int>(isa) > static_cast<int>(best) && runs(isa) && withinCap(isa, cap())) best = isa;
    return best;
}

inline void prefetch(const void *address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#elif defined(_MSC_VER) && defined(CPU_X86_64)
    _mm_prefetch(static_cast<const char *>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}

inline int popcount(uint32_t v) {
#if defined(__GNUC__)
    return __builtin_popcount(v);
#else
    return static_cast<int>(std::bitset<32>(v).count());
#endif
}

// For v != 0.
inline int countTrailingZeros(uint32_t v) {
#if defined(__GNUC__)
    return __builtin_ctz(v);
#elif defined(_MSC_VER)
    unsigned long index;
    _BitScanForward(&index, v);
    return static_cast<int>(index);
#else
    int n = 0;
    while ((v & 1u) == 0) {
        v >>= 1;
        ++n;
    }
    return n;
#endif
}

// L doubles taken together: + - * / act lane by lane, each lane one IEEE
// operation, and a double on one side stands for L copies of itself. GCC and
// Clang map them to vector registers; elsewhere they are plain loops.
#if defined(__GNUC__)
template <int L>
struct DoubleLanes {
    // In a class: GCC drops vector_size from an alias template.
    typedef double type __attribute__((vector_size(L * sizeof(double))));
};
#else
template <int L>
struct LaneArray {
    double v[L];
#define CPU_LANE_OPERATOR(op)                                                                         \
    friend LaneArray operator op(const LaneArray &a, const LaneArray &b) {                            \
        LaneArray r;                                                                                  \
        for (int l = 0; l < L; ++l) r.v[l] = a.v[l] op b.v[l];                                        \
        return r;                                                                                     \
    }                                                                                                 \
    friend LaneArray operator op(double a, const LaneArray &b) { return LaneArray::all(a) op b; }     \
    friend LaneArray operator op(const LaneArray &a, double b) { return a op LaneArray::all(b); }
    CPU_LANE_OPERATOR(+)
    CPU_LANE_OPERATOR(-)
    CPU_LANE_OPERATOR(*)
    CPU_LANE_OPERATOR(/)
#undef CPU_LANE_OPERATOR
    static LaneArray all(double a) {
        LaneArray r;
        for (int l = 0; l < L; ++l) r.v[l] = a;
        return r;
    }
};
template <int L>
struct DoubleLanes {
    using type = LaneArray<L>;
};
#endif

#if defined(__BYTE_ORDER__)
inline constexpr bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#elif defined(_MSC_VER)
inline constexpr bool littleEndian = true;  // every Windows target
#else
inline constexpr bool littleEndian = false;  // unknown: take the byte-order-free paths
#endif

}  // namespace cpu
