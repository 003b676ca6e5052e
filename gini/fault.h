// What stops a split search: found on the calling thread or by a worker,
// handed back to the entry, which raises it as a host error once every
// scratch table of the call is freed.
#pragma once

#include <cstdint>

namespace split {

struct Fault {
    enum Kind { none, outOfMemory, labelOutOfRange, sampleOutOfRange, binOutOfRange };
    Kind kind = none;
    // labelOutOfRange: the sample; sampleOutOfRange: the element of
    // sortedOrder; binOutOfRange: the position in candidateFeatures.
    int64_t index = -1;
    // binOutOfRange: the position in nodeSamples of the first such sample.
    int64_t listIndex = -1;
    // outOfMemory: the scratch that was asked for, and what the system
    // reported available (0 when it was not asked: the allocation failed).
    uint64_t bytes = 0;
    uint64_t available = 0;
};

}  // namespace split
