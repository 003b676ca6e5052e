// How much memory the system can give a call's scratch now. Scratch that is
// zero-filled at once and exceeds this would not fail to allocate (the system
// overcommits): it would bring in the out-of-memory killer while its pages
// are touched, taking the host down. Calls check large scratch against it
// and refuse it instead.
#pragma once

#include <cstdint>

namespace memory {

// Scratch below this is taken without asking: the host makes arrays of that
// size at will, and the question costs more than a small call's work.
inline constexpr uint64_t uncheckedBytes = uint64_t{64} << 20;

// What the system reports as available to new allocations without swapping
// (Linux: MemAvailable; Windows: available physical memory; macOS: free,
// inactive, speculative and purgeable pages); UINT64_MAX when it cannot tell.
uint64_t availableBytes();

// Whether `bytes` of scratch may be allocated; when the system was asked,
// *available receives its answer.
inline bool scratchFits(uint64_t bytes, uint64_t *available) {
    if (bytes < uncheckedBytes) return true;
    *available = availableBytes();
    return bytes <= *available;
}

}  // namespace memory
