// One call of a module at the MEX boundary: its inputs by position, the checks
// that refuse a bad call, and its outputs.
//
// A refused call raises a host error with the identifier "<module>:<reason>"
// and a message that starts with the argument (the host shows the module's
// name itself) and shows the offending value. The host unwinds (or jumps) out
// of the module, so an entry raises only where it owns no scratch memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu.h"
#include "mxApi.h"

namespace gateway {

// Reasons, the part of an error identifier after the module name.
namespace reason {
inline constexpr const char *notEnoughInputs = "notEnoughInputs";
inline constexpr const char *tooManyInputs = "tooManyInputs";
inline constexpr const char *tooManyOutputs = "tooManyOutputs";
inline constexpr const char *wrongClass = "wrongClass";
inline constexpr const char *notReal = "notReal";
inline constexpr const char *notMatrix = "notMatrix";
inline constexpr const char *wrongSize = "wrongSize";
inline constexpr const char *notScalar = "notScalar";
inline constexpr const char *badValue = "badValue";
inline constexpr const char *tooLarge = "tooLarge";
inline constexpr const char *labelOutOfRange = "labelOutOfRange";
inline constexpr const char *indexOutOfRange = "indexOutOfRange";
inline constexpr const char *outOfMemory = "outOfMemory";
}  // namespace reason

// What a module's call looks like: its name, its inputs in call order (an
// input's position is its index + 1; the messages list the names), and how
// many outputs it returns at most.
struct Signature {
    const char *module;
    const char *const *inputs;
    int inputCount;
    int outputCount;
};

// A number as the host writes it: integers in full, NaN, Inf and -Inf.
struct NumberText {
    char text[32];
};
NumberText numberText(double v);

class Call {
public:
    // Refuses a call with another number of inputs or too many outputs.
    Call(const Signature &signature, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

    const mxArray *operator[](int input) const { return prhs_[input]; }
    template <typename T>
    const T *data(int input) const {
        return static_cast<const T *>(mxGetData(prhs_[input]));
    }

    // Raises "<module>:<reason>" with the formatted message.
    [[noreturn]] void fail(const char *reason, const char *format, ...) const CPU_PRINTF_FORMAT(3, 4);
    // The same, the message starting with "Argument <position> (<name>) ".
    [[noreturn]] void failInput(int input, const char *reason, const char *format, ...) const
        CPU_PRINTF_FORMAT(4, 5);

    // A real (non-complex), full array of exactly class `id`.
    void requireClass(int input, mxClassID id) const;
    // A real uint32 or int32 array (both read alike for values below 2^31).
    void requireIndexClass(int input) const;
    void requireMatrix(int input) const;
    void requireElements(int input, size_t count, const char *what) const;
    void requireAtLeastElements(int input, size_t count, const char *what) const;
    // A row or column count, held as a signed 32-bit integer in the kernels.
    int32_t dimension(int input, size_t n, const char *what) const;
    // The first element as a double, of a non-empty numeric or logical array.
    double scalar(int input) const;
    // scalar(), truncated toward zero; NaN and values outside the 32-bit
    // range give INT32_MIN, as the x86 conversion instruction does.
    int32_t truncatedScalar(int input) const;
    // Element i of a uint32 or int32 array as the caller wrote it.
    int64_t indexValue(int input, size_t i) const;

    // Creates output `slot` as an m-by-n real matrix, stores it when the host
    // provides that slot (slot 0 always exists) and returns its data.
    void *output(int slot, size_t m, size_t n, mxClassID id) const;

private:
    const Signature &signature_;
    int nlhs_;
    mxArray **plhs_;
    const mxArray **prhs_;
};

int32_t truncateToInt32(double v);

}  // namespace gateway
