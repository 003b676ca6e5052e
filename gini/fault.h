// What stops a split search: found on the calling thread or by a worker,
// handed back to the entry, which raises it as a host error once every
// scratch table of the call is freed. Made only through the factories below,
// so that each kind carries exactly its own details.
#pragma once

#include <cstdint>

namespace split {

struct Fault {
    enum class Kind { none, outOfMemory, labelOutOfRange, sampleOutOfRange, binOutOfRange };
    Kind kind = Kind::none;
    // labelOutOfRange: the sample; sampleOutOfRange: the element of
    // sortedOrder; binOutOfRange: the position in candidateFeatures.
    int64_t index = -1;
    // binOutOfRange: the position in nodeSamples of the first such sample.
    int64_t listIndex = -1;
    // outOfMemory: the scratch that was asked for, and what the system
    // reported available (0 when it was not asked: the allocation failed).
    uint64_t bytes = 0;
    uint64_t available = 0;

    // Scratch of `bytes` refused: beyond `available`, or (0) not allocated.
    static Fault outOfMemory(uint64_t bytes, uint64_t available = 0) {
        Fault f;
        f.kind = Kind::outOfMemory;
        f.bytes = bytes;
        f.available = available;
        return f;
    }
    // The label of sample `sample` lies outside 1..K.
    static Fault labelOutOfRange(int64_t sample) { return indexed(Kind::labelOutOfRange, sample); }
    // Element `element` of sortedOrder is no sample number.
    static Fault sampleOutOfRange(int64_t element) { return indexed(Kind::sampleOutOfRange, element); }
    // The feature at `position` of candidateFeatures holds a bin value at or
    // above B, first for the sample at `listIndex` of nodeSamples.
    static Fault binOutOfRange(int64_t position, int64_t listIndex) {
        Fault f = indexed(Kind::binOutOfRange, position);
        f.listIndex = listIndex;
        return f;
    }

private:
    static Fault indexed(Kind kind, int64_t index) {
        Fault f;
        f.kind = kind;
        f.index = index;
        return f;
    }
};

}  // namespace split
