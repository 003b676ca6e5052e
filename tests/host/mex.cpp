// libmex.so of the stand-in host.
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "mexError.h"
#include "mxArray.h"

namespace host {

MexError::MexError(std::string id, const std::string &message)
    : std::runtime_error(message), id_(std::move(id)) {}

// Out of line, so the type's identity lives in this library alone.
MexError::~MexError() = default;

}  // namespace host

extern "C" void mexErrMsgIdAndTxt(const char *errorid, const char *errormsg, ...) {
    va_list args;
    va_start(args, errormsg);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, errormsg, args);
    va_end(args);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), errormsg, again);
    va_end(again);
    throw host::MexError(errorid ? errorid : "", text.data());
}
