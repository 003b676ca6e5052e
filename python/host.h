// The Python front end: a module's contract called from Python with numpy
// arrays, other arrays that offer DLPack or the buffer protocol (PyTorch's
// tensors, ...) and Python numbers. Each argument is seen through the
// contract's view (an array as the MATLAB array with the same [i, j]
// elements, so its data in column-major order, copied only where the array is
// not so); a refused call raises an exception of the package's classes with
// the module's identifier; the parallel region runs without the GIL.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

#include "contract/modules.h"

namespace pythonHost {

// No module takes more inputs or returns more outputs than these.
constexpr int maxSlots = modules::mostInputs;
constexpr int maxOutputs = modules::mostOutputs;

// A module's Python parameters, in order: each one's contract slot and name.
// The module's placeholders have none (their slots stay absent); parameters
// from `firstKeywordOnly` on are keyword-only and optional (None when left out).
struct Parameters {
    int slots[maxSlots] = {};
    const char *names[maxSlots] = {};
    int count = 0;
    int firstKeywordOnly = 0;
};

// The parameters of a module with these inputs. Keyword-only inputs come
// last: one before a positional input stops the build.
template <size_t n>
constexpr Parameters parametersOf(const contract::Input (&inputs)[n]) {
    static_assert(n <= maxSlots, "the host holds every input of the module");
    Parameters p;
    for (size_t slot = 0; slot < n; ++slot) {
        const contract::Input &input = inputs[slot];
        if (!input.pythonName) continue;
        if (!input.keywordOnly && p.firstKeywordOnly < p.count) throw "a keyword-only input before a positional one";
        p.slots[p.count] = static_cast<int>(slot);
        p.names[p.count] = input.pythonName;
        ++p.count;
        if (!input.keywordOnly) p.firstKeywordOnly = p.count;
    }
    return p;
}

// A Python function over a module's contract.
struct Function {
    const contract::Module &module;
    Parameters parameters;
};

// Calls the function with vectorcall arguments; returns the first output, or
// a tuple of all outputs when the module has several; nullptr with a Python
// exception set when the call is refused.
PyObject *call(const Function &function, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames);

// Once at import: the numpy C API and the package's exception classes.
bool initialize();

}  // namespace pythonHost
