#include "call.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gateway {

namespace {

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

bool isNumericOrLogical(mxClassID id) { return id == mxLOGICAL_CLASS || (id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS); }

// Messages live in fixed buffers: nothing here owns memory that an
// unwinding host would leak.
constexpr size_t messageSize = 640;

void formatMessage(char *message, const char *prefix, const char *format, va_list args) {
    const int used = std::snprintf(message, messageSize, "%s", prefix);
    std::vsnprintf(message + used, messageSize - static_cast<size_t>(used), format, args);
}

[[noreturn]] void raise(const char *module, const char *reason, const char *message) {
    char id[96];
    std::snprintf(id, sizeof id, "%s:%s", module, reason);
    mexErrMsgIdAndTxt(id, "%s", message);
    std::abort();  // a host error never returns
}

}  // namespace

NumberText numberText(double v) {
    NumberText t;
    if (std::isnan(v))
        std::snprintf(t.text, sizeof t.text, "NaN");
    else if (std::isinf(v))
        std::snprintf(t.text, sizeof t.text, v > 0 ? "Inf" : "-Inf");
    else if (v == std::trunc(v) && std::fabs(v) < 1e18)
        std::snprintf(t.text, sizeof t.text, "%.0f", v);
    else
        std::snprintf(t.text, sizeof t.text, "%.17g", v);
    return t;
}

int32_t truncateToInt32(double v) {
    // The open interval (-2^31 - 1, 2^31) truncates into range.
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
    return INT32_MIN;
}

Call::Call(const Signature &signature, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
    : signature_(signature), nlhs_(nlhs), plhs_(plhs), prhs_(prhs) {
    if (nrhs != signature.inputCount) {
        char names[320] = "";
        for (int i = 0; i < signature.inputCount; ++i) {
            if (i > 0) std::strncat(names, ", ", sizeof names - std::strlen(names) - 1);
            std::strncat(names, signature.inputs[i], sizeof names - std::strlen(names) - 1);
        }
        fail(nrhs < signature.inputCount ? reason::notEnoughInputs : reason::tooManyInputs,
             "Inputs: %d expected (%s); %d given.", signature.inputCount, names, nrhs);
    }
    if (nlhs > signature.outputCount)
        fail(reason::tooManyOutputs, "Outputs: at most %d; %d requested.", signature.outputCount, nlhs);
}

void Call::fail(const char *reason, const char *format, ...) const {
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, "", format, args);
    va_end(args);
    raise(signature_.module, reason, message);
}

void Call::failInput(int input, const char *reason, const char *format, ...) const {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "Argument %d (%s) ", input + 1, signature_.inputs[input]);
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, prefix, format, args);
    va_end(args);
    raise(signature_.module, reason, message);
}

void Call::requireClass(int input, mxClassID id) const {
    const mxArray *a = prhs_[input];
    const mxClassID actual = mxGetClassID(a);
    if (actual != id)
        failInput(input, reason::wrongClass, "must be a real %s array; it is %s.", className(id), className(actual));
    if (mxIsComplex(a)) failInput(input, reason::notReal, "must be real; it is complex %s.", className(actual));
    // A sparse array's data holds only its non-zeros.
    if (mxIsSparse(a))
        failInput(input, reason::wrongClass, "must be a full %s array; it is sparse.", className(actual));
}

void Call::requireIndexClass(int input) const {
    const mxArray *a = prhs_[input];
    const mxClassID actual = mxGetClassID(a);
    if (actual != mxUINT32_CLASS && actual != mxINT32_CLASS)
        failInput(input, reason::wrongClass, "must be a uint32 or int32 array; it is %s.", className(actual));
    if (mxIsComplex(a)) failInput(input, reason::notReal, "must be real; it is complex %s.", className(actual));
}

void Call::requireMatrix(int input) const {
    const size_t dims = static_cast<size_t>(mxGetNumberOfDimensions(prhs_[input]));
    if (dims != 2) failInput(input, reason::notMatrix, "must be a 2-D matrix; it has %zu dimensions.", dims);
}

void Call::requireElements(int input, size_t count, const char *what) const {
    const size_t actual = mxGetNumberOfElements(prhs_[input]);
    if (actual != count)
        failInput(input, reason::wrongSize, "must hold %zu elements (%s); it holds %zu.", count, what, actual);
}

void Call::requireAtLeastElements(int input, size_t count, const char *what) const {
    const size_t actual = mxGetNumberOfElements(prhs_[input]);
    if (actual < count)
        failInput(input, reason::wrongSize, "must hold at least %zu elements (%s); it holds %zu.", count, what,
                  actual);
}

int32_t Call::dimension(int input, size_t n, const char *what) const {
    if (n > static_cast<size_t>(INT32_MAX))
        failInput(input, reason::tooLarge, "has %zu %s; at most %d are supported.", n, what, INT32_MAX);
    return static_cast<int32_t>(n);
}

double Call::scalar(int input) const {
    const mxArray *a = prhs_[input];
    const mxClassID id = mxGetClassID(a);
    if (!isNumericOrLogical(id))
        failInput(input, reason::notScalar, "must be a numeric or logical scalar; it is %s.", className(id));
    if (mxGetNumberOfElements(a) == 0)
        failInput(input, reason::notScalar, "must be a numeric or logical scalar; it is empty.");
    return mxGetScalar(a);
}

int32_t Call::truncatedScalar(int input) const { return truncateToInt32(scalar(input)); }

int64_t Call::indexValue(int input, size_t i) const {
    const uint32_t v = data<uint32_t>(input)[i];
    return mxGetClassID(prhs_[input]) == mxINT32_CLASS ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
}

void *Call::output(int slot, size_t m, size_t n, mxClassID id) const {
    mxArray *out = mxCreateNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), id, mxREAL);
    // The host frees arrays that were created but not returned.
    if (slot == 0 || slot < nlhs_) plhs_[slot] = out;
    return mxGetData(out);
}

}  // namespace gateway
