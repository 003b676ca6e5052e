#include "args.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace gateway {

void raiseError(const char *module, const char *reason, const char *format, ...) {
    // Fixed buffers: nothing here owns memory that an unwinding host would leak.
    char id[96];
    char message[512];
    std::snprintf(id, sizeof id, "%s:%s", module, reason);
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mexErrMsgIdAndTxt(id, "%s", message);
    std::abort();  // a host error never returns
}

void checkArgCounts(const char *module, int nlhs, int nrhs, int inputs, int maxOutputs,
                    const char *signature) {
    if (nrhs < inputs)
        raiseError(module, reason::notEnoughInputs, "%s needs %d inputs (%s); it was given %d.",
                   module, inputs, signature, nrhs);
    if (nrhs > inputs)
        raiseError(module, reason::tooManyInputs, "%s takes %d inputs (%s); it was given %d.",
                   module, inputs, signature, nrhs);
    if (nlhs > maxOutputs)
        raiseError(module, reason::tooManyOutputs,
                   "%s returns at most %d output%s; %d were requested.", module, maxOutputs,
                   maxOutputs == 1 ? "" : "s", nlhs);
}

const char *className(mxClassID id) {
    switch (id) {
    case mxCELL_CLASS: return "cell";
    case mxSTRUCT_CLASS: return "struct";
    case mxLOGICAL_CLASS: return "logical";
    case mxCHAR_CLASS: return "char";
    case mxDOUBLE_CLASS: return "double";
    case mxSINGLE_CLASS: return "single";
    case mxINT8_CLASS: return "int8";
    case mxUINT8_CLASS: return "uint8";
    case mxINT16_CLASS: return "int16";
    case mxUINT16_CLASS: return "uint16";
    case mxINT32_CLASS: return "int32";
    case mxUINT32_CLASS: return "uint32";
    case mxINT64_CLASS: return "int64";
    case mxUINT64_CLASS: return "uint64";
    case mxFUNCTION_CLASS: return "function_handle";
    default: return "unknown";
    }
}

static bool isNumericOrLogical(mxClassID id) {
    return id == mxLOGICAL_CLASS || (id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS);
}

void requireRealClass(const char *module, const mxArray *a, Arg arg, mxClassID id) {
    const mxClassID actual = mxGetClassID(a);
    if (actual != id)
        raiseError(module, reason::wrongClass, "Argument %d (%s) must be a real %s array; it is %s.",
                   arg.position, arg.name, className(id), className(actual));
    if (mxIsComplex(a))
        raiseError(module, reason::notReal, "Argument %d (%s) must be real; it is complex %s.",
                   arg.position, arg.name, className(actual));
    // A sparse array's data holds only its non-zeros.
    if (mxIsSparse(a))
        raiseError(module, reason::wrongClass, "Argument %d (%s) must be a full %s array; it is sparse.",
                   arg.position, arg.name, className(actual));
}

void requireIndexClass(const char *module, const mxArray *a, Arg arg) {
    const mxClassID actual = mxGetClassID(a);
    if (actual != mxUINT32_CLASS && actual != mxINT32_CLASS)
        raiseError(module, reason::wrongClass,
                   "Argument %d (%s) must be a uint32 or int32 array; it is %s.", arg.position,
                   arg.name, className(actual));
    if (mxIsComplex(a))
        raiseError(module, reason::notReal, "Argument %d (%s) must be real; it is complex %s.",
                   arg.position, arg.name, className(actual));
}

void requireMatrix(const char *module, const mxArray *a, Arg arg) {
    const size_t dims = static_cast<size_t>(mxGetNumberOfDimensions(a));
    if (dims != 2)
        raiseError(module, reason::notMatrix, "Argument %d (%s) must be a 2-D matrix; it has %zu dimensions.",
                   arg.position, arg.name, dims);
}

void requireElements(const char *module, const mxArray *a, Arg arg, size_t count, const char *what) {
    const size_t actual = mxGetNumberOfElements(a);
    if (actual != count)
        raiseError(module, reason::wrongSize, "Argument %d (%s) must hold %zu elements (%s); it holds %zu.",
                   arg.position, arg.name, count, what, actual);
}

void requireAtLeastElements(const char *module, const mxArray *a, Arg arg, size_t count,
                            const char *what) {
    const size_t actual = mxGetNumberOfElements(a);
    if (actual < count)
        raiseError(module, reason::wrongSize,
                   "Argument %d (%s) must hold at least %zu elements (%s); it holds %zu.", arg.position,
                   arg.name, count, what, actual);
}

double readScalar(const char *module, const mxArray *a, Arg arg) {
    const mxClassID id = mxGetClassID(a);
    if (!isNumericOrLogical(id))
        raiseError(module, reason::notScalar,
                   "Argument %d (%s) must be a numeric or logical scalar; it is %s.", arg.position,
                   arg.name, className(id));
    if (mxGetNumberOfElements(a) == 0)
        raiseError(module, reason::notScalar,
                   "Argument %d (%s) must be a numeric or logical scalar; it is empty.", arg.position,
                   arg.name);
    return mxGetScalar(a);
}

int32_t truncateToInt32(double v) {
    // The open interval (-2^31 - 1, 2^31) truncates into range.
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
    return INT32_MIN;
}

int32_t dimensionAsInt32(const char *module, size_t n, Arg arg, const char *what) {
    if (n > static_cast<size_t>(INT32_MAX))
        raiseError(module, reason::tooLarge, "Argument %d (%s) has %zu %s; at most %d are supported.",
                   arg.position, arg.name, n, what, INT32_MAX);
    return static_cast<int32_t>(n);
}

void *createOutput(mxArray *plhs[], int nlhs, int slot, size_t m, size_t n, mxClassID id) {
    mxArray *out = mxCreateNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), id, mxREAL);
    // The host frees arrays that were created but not returned.
    if (slot == 0 || slot < nlhs) plhs[slot] = out;
    return mxGetData(out);
}

}  // namespace gateway
