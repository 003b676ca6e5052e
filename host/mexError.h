// How the stand-in host's mexErrMsgIdAndTxt leaves a module: an exception that
// unwinds through the module to the loader, as MATLAB's error unwinds to the prompt.
#pragma once

#include <stdexcept>
#include <string>

namespace host {

class MexError : public std::runtime_error {
public:
    MexError(std::string id, const std::string &message);
    ~MexError() override;
    const std::string &identifier() const { return id_; }

private:
    std::string id_;
};

}  // namespace host
