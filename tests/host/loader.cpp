#include "loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>

#include "mexError.h"

namespace host {

Array makeArray(mxClassID id, const std::vector<size_t> &dims, mxComplexity flag) {
    return Array(standinCreateArray(dims.size(), dims.data(), id, flag));
}

Array makeScalar(double value) { return makeMatrix<double>(1, 1, {value}); }

#ifdef _WIN32
namespace {

// A module's dependencies are looked up in its own folder first, as MATLAB
// loads MEX files, so runtime DLLs placed beside a module are found. That
// search needs a full path and skips the program's folder; so the host's own
// libraries are loaded first, from there, as MATLAB's are before any module,
// and a module's imports from them bind to those already in the process.
void *openLibrary(const std::string &path) {
    static const bool hostLibraries = LoadLibraryA("libmx.dll") && LoadLibraryA("libmex.dll");
    if (!hostLibraries) return nullptr;
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
std::string lastError() { return "error " + std::to_string(GetLastError()); }
void closeLibrary(void *handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
void *findSymbol(void *handle, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

}  // namespace
#else
namespace {

void *openLibrary(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
std::string lastError() { return dlerror(); }
void closeLibrary(void *handle) { dlclose(handle); }
void *findSymbol(void *handle, const char *name) { return dlsym(handle, name); }

}  // namespace
#endif

Module::Module(const std::string &path) : handle_(openLibrary(path)) {
    if (!handle_) throw std::runtime_error(std::string("cannot load ") + path + ": " + lastError());
    entry_ = reinterpret_cast<void (*)(int, mxArray **, int, const mxArray **)>(findSymbol(handle_, "mexFunction"));
    if (!entry_) {
        closeLibrary(handle_);
        throw std::runtime_error(path + " has no mexFunction");
    }
}

Module::~Module() { closeLibrary(handle_); }

void *Module::symbol(const char *name) const { return findSymbol(handle_, name); }

namespace {
std::mutex raisedLock;
std::set<std::string> raised;
}  // namespace

std::set<std::string> raisedIdentifiers() {
    const std::lock_guard<std::mutex> hold(raisedLock);
    return raised;
}

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
    if (!result.ok()) {
        plhs.assign(slots, nullptr);
        const std::lock_guard<std::mutex> hold(raisedLock);
        raised.insert(result.errorId);
    }
    standinReleaseCreatedSince(before, plhs.data(), plhs.size());
    for (mxArray *a : plhs) result.outputs.emplace_back(a);
    return result;
}

CallResult Module::call(int nlhs, const std::vector<Array> &inputs) const {
    std::vector<const mxArray *> prhs;
    for (const Array &a : inputs) prhs.push_back(a.get());
    return call(nlhs, prhs);
}

std::string modulePath(const std::string &name) {
    const char *dir = std::getenv("MEX_MODULE_DIR");
#ifdef DEFAULT_MEX_MODULE_DIR
    if (!dir) dir = DEFAULT_MEX_MODULE_DIR;
#endif
#ifndef MEX_EXTENSION
#define MEX_EXTENSION "mexa64"
#endif
    return std::string(dir ? dir : ".") + "/" + name + "." MEX_EXTENSION;
}

void exitHost(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
    std::exit(status);
}

}  // namespace host
