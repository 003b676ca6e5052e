// Loads a built MEX module and calls it as the host does: arrays in, arrays
// out, errors caught at the boundary. Used by the module tests, benchmarks and
// tools; the modules themselves know nothing of it.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "mxArray.h"

namespace host {

struct ArrayDeleter {
    void operator()(mxArray *a) const { standinDestroyArray(a); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

Array makeArray(mxClassID id, const std::vector<size_t> &dims, mxComplexity flag = mxREAL);
Array makeScalar(double value);

template <typename T> struct ClassOf;
template <> struct ClassOf<double> { static constexpr mxClassID id = mxDOUBLE_CLASS; };
template <> struct ClassOf<float> { static constexpr mxClassID id = mxSINGLE_CLASS; };
template <> struct ClassOf<uint8_t> { static constexpr mxClassID id = mxUINT8_CLASS; };
template <> struct ClassOf<int32_t> { static constexpr mxClassID id = mxINT32_CLASS; };
template <> struct ClassOf<uint32_t> { static constexpr mxClassID id = mxUINT32_CLASS; };

// A rows-by-cols array of T holding `values` in column-major order.
template <typename T>
Array makeMatrix(size_t rows, size_t cols, const std::vector<T> &values) {
    Array a = makeArray(ClassOf<T>::id, {rows, cols});
    T *data = static_cast<T *>(mxGetData(a.get()));
    for (size_t i = 0; i < values.size() && i < rows * cols; ++i) data[i] = values[i];
    return a;
}

template <typename T> std::vector<T> values(const mxArray *a) {
    const T *data = static_cast<const T *>(mxGetData(a));
    return std::vector<T>(data, data + mxGetNumberOfElements(a));
}

struct CallResult {
    std::vector<Array> outputs;  // one per slot the host offered
    std::string errorId;         // empty when the call succeeded
    std::string errorMessage;
    bool ok() const { return errorId.empty() && errorMessage.empty(); }
};

class Module {
public:
    // Opens the module file; throws std::runtime_error when it cannot.
    explicit Module(const std::string &path);
    ~Module();
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    // Calls mexFunction with max(nlhs, 1) output slots. Arrays the module
    // created but did not return are freed, as the host does.
    CallResult call(int nlhs, const std::vector<const mxArray *> &inputs) const;
    CallResult call(int nlhs, const std::vector<Array> &inputs) const;
    void *symbol(const char *name) const;

private:
    void *handle_;
    void (*entry_)(int, mxArray **, int, const mxArray **);
};

// Every error identifier that a call through Module::call has raised in this
// process, for the tests that hold them to the build's list.
std::set<std::string> raisedIdentifiers();

// Path of a module built into the project's module folder.
std::string modulePath(const std::string &name);

// Ends a host program with `status`, its output flushed. On Windows without
// the DLLs' teardown: ExitProcess kills the other threads wherever they are,
// and an OpenMP worker killed while it leaves (after a team shrank) can hold
// the POSIX-threads DLL's thread-list lock, which the OpenMP DLL's teardown
// then waits for forever.
[[noreturn]] void exitHost(int status);

}  // namespace host
