// How the stand-in host's mexErrMsgIdAndTxt leaves a module: an exception that
// unwinds through the module to the loader, as MATLAB's error unwinds to the prompt.
#pragma once

#include <stdexcept>
#include <string>

// Exported from libmex on Windows, so that hosts catch the one type it throws.
#if defined(_WIN32) && defined(STANDIN_BUILDING_MEX)
#define STANDIN_MEX_API __declspec(dllexport)
#elif defined(_WIN32)
#define STANDIN_MEX_API __declspec(dllimport)
#else
#define STANDIN_MEX_API
#endif

namespace host {

class STANDIN_MEX_API MexError : public std::runtime_error {
public:
    MexError(std::string id, const std::string &message);
    ~MexError() override;
    const std::string &identifier() const { return id_; }

private:
    std::string id_;
};

}  // namespace host
