// Argument access and validation at the MEX boundary.
//
// Every check raises a host error with the identifier "<module>:<reason>" and a
// message that names the argument by position and name and shows the offending
// value. Errors are raised through the host, which unwinds (or jumps) out of the
// module, so callers raise them only where no scratch memory is owned.
#pragma once

#include <cstddef>
#include <cstdint>

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

// One input of a module: its 1-based position in the MATLAB call and its name.
struct Arg {
    int position;
    const char *name;
};

// MinGW's "printf" is the Windows runtime's, without %zu; the messages are
// formatted by the C99 printf that MinGW's C++ library selects.
#if defined(_MSC_VER)
#define GATEWAY_PRINTF_FORMAT(f, a)
#elif defined(__MINGW32__)
#define GATEWAY_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define GATEWAY_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

[[noreturn]] void raiseError(const char *module, const char *reason, const char *format, ...)
    GATEWAY_PRINTF_FORMAT(3, 4);

// Input and output counts; `signature` lists the inputs for the message.
void checkArgCounts(const char *module, int nlhs, int nrhs, int inputs, int maxOutputs,
                    const char *signature);

const char *className(mxClassID id);

// A real (non-complex) array of exactly class `id`.
void requireRealClass(const char *module, const mxArray *a, Arg arg, mxClassID id);
// A uint32 or int32 array (both read alike for values below 2^31).
void requireIndexClass(const char *module, const mxArray *a, Arg arg);
void requireMatrix(const char *module, const mxArray *a, Arg arg);
void requireElements(const char *module, const mxArray *a, Arg arg, size_t count, const char *what);
void requireAtLeastElements(const char *module, const mxArray *a, Arg arg, size_t count,
                            const char *what);

// First element as a double, for a non-empty numeric or logical array.
double readScalar(const char *module, const mxArray *a, Arg arg);

// Truncation toward zero; NaN and values outside the 32-bit range give
// INT32_MIN, as the x86 conversion instruction does.
int32_t truncateToInt32(double v);

// A row or column count held as a signed 32-bit integer in the kernels.
int32_t dimensionAsInt32(const char *module, size_t n, Arg arg, const char *what);

// Creates the output of `slot` as an m-by-n real matrix, stores it when the
// host provides that slot (slot 0 always exists) and returns its data.
void *createOutput(mxArray *plhs[], int nlhs, int slot, size_t m, size_t n, mxClassID id);

}  // namespace gateway
