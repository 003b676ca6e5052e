// What the three fuzz targets share: arguments of any class, shape and value
// made from the fuzzer's bytes, one call of the module's entry as the host
// makes it, and the rules every call must keep (one of the module's
// documented error identifiers, or outputs of the right class and size).
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/loader.h"

namespace fuzz {

// Elements of all the arguments of one call together.
inline constexpr size_t elementBudget = 4096;

// How element values are drawn for a well-formed argument: ordinary values
// are `step` times an integer in lo..hi (bounds one past the valid range
// give the off-by-one cases, small steps give ties); the rest are NaN,
// infinities, zeros of both signs, denormals, extreme and fractional values,
// or raw bits.
struct Values {
    int64_t lo = 0;
    int64_t hi = 0;
    double step = 1.0;
};

// An argument as the module expects it; the fuzzer mostly keeps the class
// and shape, and sometimes picks any other class (complex, logical, char,
// cell, struct...), shape (empty, transposed, N-D) or raw contents.
struct Expected {
    mxClassID id;
    size_t rows;
    size_t cols;
    Values values;
};

inline Expected scalarOf(Values v) { return {mxDOUBLE_CLASS, 1, 1, v}; }

// The arguments of one call and the number of outputs asked for.
struct Call {
    int nlhs = 0;
    std::vector<host::Array> inputs;
    const mxArray *input(size_t i) const { return inputs[i].get(); }
    template <typename T> const T *data(size_t i) const { return static_cast<const T *>(mxGetData(input(i))); }
};

// Chooses nlhs (mostly 1 .. outputCount, sometimes -1 .. outputCount + 1)
// and the number of inputs (mostly `expected.size()`), then makes each.
Call makeCall(FuzzedDataProvider &p, const std::vector<Expected> &expected, int outputCount);

// The first element as a double, truncated toward zero to 32 bits the way
// the entries document it: NaN and values outside the range give INT32_MIN.
int32_t truncatedScalar(const mxArray *a);

// Runs mexFunction once as the host does and checks what every call must
// keep; a broken rule aborts with a message, which libFuzzer reports. On
// success returns the outputs the host received (max(nlhs, 1) slots), each
// checked for class `id`, real, rows x cols; else returns no outputs.
struct Outcome {
    bool ok = false;
    std::string errorId;
    std::vector<host::Array> outputs;
};
Outcome callEntry(const char *module, const Call &call, int outputCount, mxClassID id, size_t rows, size_t cols);

// A finding: the message on stderr, then abort.
[[noreturn]] void finding(const char *module, const std::string &what);

// Each output against the reference's, to the bit (NaN payloads and the
// sign of zero count).
template <typename T>
void expectSameBits(const char *module, const Outcome &outcome, const std::vector<std::vector<T>> &reference) {
    for (size_t slot = 0; slot < outcome.outputs.size(); ++slot) {
        const std::vector<T> got = host::values<T>(outcome.outputs[slot].get());
        const std::vector<T> &want = reference[slot];
        for (size_t i = 0; i < want.size(); ++i)
            if (std::memcmp(&got[i], &want[i], sizeof(T)) != 0)
                finding(module, "output " + std::to_string(slot + 1) + " element " + std::to_string(i + 1) + " is " +
                                    std::to_string(got[i]) + "; the reference loop gives " + std::to_string(want[i]));
    }
}

// Calls the entry with `outputs` outputs of class `cls` and size rows x cols;
// an accepted call's outputs must hold the reference's bits.
template <class T, class Reference>
int callAndCompare(const char *module, const Call &call, int outputs, mxClassID cls, size_t rows, size_t cols,
                   const Reference &reference) {
    const Outcome out = callEntry(module, call, outputs, cls, rows, cols);
    if (out.ok) expectSameBits<T>(module, out, reference());
    return 0;
}

// A split search's three reference rows of `count` elements, filled by
// search(impurity, threshold, gain), which says whether the reference refused
// the call: a finding, since the module accepted it.
template <class Search>
std::vector<std::vector<double>> referenceSplitRows(const char *module, size_t count, const Search &search) {
    std::vector<std::vector<double>> rows(3, std::vector<double>(count));
    if (search(rows[0].data(), rows[1].data(), rows[2].data()))
        finding(module, "accepted a call that the reference refuses");
    return rows;
}

}  // namespace fuzz
