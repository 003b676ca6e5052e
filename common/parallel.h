// Thread-team queries and the static divisions of work, usable with or without
// OpenMP: without it (the serial build) every team has one thread, number 0.
// Nothing here knows about the host.
#pragma once

#include <cstdint>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace parallel {

#ifdef _OPENMP
inline int maxThreads() { return omp_get_max_threads(); }
#else
inline int maxThreads() { return 1; }
#endif

// Runs body(thread, threads) once on every thread of one parallel region of
// `team` threads, the calling thread among them. A team of one (and every
// team of the serial build) runs it on the calling thread as thread 0 of 1,
// without a region, which would cost more than a small call's work. Kernels
// take the block of work that the body works out from these, never the
// thread ids themselves.
template <class Body>
inline void runTeam(int team, const Body &body) {
#ifdef _OPENMP
    if (team > 1) {
#pragma omp parallel num_threads(team)
        body(omp_get_thread_num(), omp_get_num_threads());
        return;
    }
#endif
    (void)team;
    body(0, 1);
}

// Team size for a caller's bound: at most the runtime's maximum, at least 1.
inline int boundedTeam(int32_t bound) {
    const int most = maxThreads();
    if (bound > most) return most;
    return bound < 1 ? 1 : bound;
}

struct Range {
    int64_t begin;
    int64_t end;
};

// n items over `team` threads in contiguous blocks, the first n mod team
// threads taking one item more (OpenMP's static schedule without a chunk).
inline Range staticBlock(int64_t n, int team, int thread) {
    const int64_t q = n / team;
    const int64_t r = n % team;
    if (thread < r) return {thread * (q + 1), thread * (q + 1) + q + 1};
    return {thread * q + r, thread * q + r + q};
}

// n items in blocks of ceil(n / team); trailing threads may get nothing.
inline Range ceilBlock(int64_t n, int team, int thread) {
    const int64_t q = n / team + (n % team != 0);
    const int64_t begin = thread * q;
    if (begin >= n) return {n, n};
    return {begin, begin + q < n ? begin + q : n};
}

// Keeps the thread runtime in the process once a module has used it. Its idle
// workers outlive a parallel region; if unloading a module took the runtime
// with it, they would run unmapped code. The module itself stays unloadable.
void keepThreadRuntimeLoaded();

}  // namespace parallel
