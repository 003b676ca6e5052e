#include "loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>

#include "mexError.h"

namespace host {

Array makeArray(mxClassID id, const std::vector<size_t> &dims, mxComplexity flag) {
    return Array(standinCreateArray(dims.size(), dims.data(), id, flag));
}

Array makeScalar(double value) { return makeMatrix<double>(1, 1, {value}); }

Module::Module(const std::string &path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    entry_ = reinterpret_cast<void (*)(int, mxArray **, int, const mxArray **)>(dlsym(handle_, "mexFunction"));
    if (!entry_) {
        dlclose(handle_);
        throw std::runtime_error(path + " has no mexFunction");
    }
}

Module::~Module() { dlclose(handle_); }

void *Module::symbol(const char *name) const { return dlsym(handle_, name); }

CallResult Module::call(int nlhs, const std::vector<const mxArray *> &inputs) const {
    const size_t slots = nlhs < 1 ? 1 : static_cast<size_t>(nlhs);
    std::vector<mxArray *> plhs(slots, nullptr);
    std::vector<const mxArray *> prhs(inputs);
    const uint64_t before = standinLastSerial();
    CallResult result;
    try {
        entry_(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    } catch (const MexError &e) {
        result.errorId = e.identifier();
        result.errorMessage = e.what();
    } catch (const std::exception &e) {
        result.errorId = "host:uncaughtException";
        result.errorMessage = e.what();
    }
    if (!result.ok()) plhs.assign(slots, nullptr);
    standinReleaseCreatedSince(before, plhs.data(), plhs.size());
    for (mxArray *a : plhs) result.outputs.emplace_back(a);
    return result;
}

std::string modulePath(const std::string &name) {
    const char *dir = std::getenv("MEX_MODULE_DIR");
#ifdef DEFAULT_MEX_MODULE_DIR
    if (!dir) dir = DEFAULT_MEX_MODULE_DIR;
#endif
    return std::string(dir ? dir : ".") + "/" + name + ".mexa64";
}

}  // namespace host
