// The Python front end: a module's contract called from Python with numpy
// arrays and Python numbers. Each argument is seen through the contract's
// view (a numpy array as the MATLAB array with the same [i, j] elements, so
// its data in column-major order, copied only where the array is not so);
// a refused call raises an exception of the package's classes with the
// module's identifier; the parallel region runs without the GIL.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "contract/call.h"

namespace pythonHost {

// A Python function over a module's contract: its name, and per Python
// parameter (in order) the contract's input slot and the parameter's name.
// Parameters from `firstKeywordOnly` on are keyword-only and optional (None
// when left out); the contract's other slots (its placeholders) stay absent.
struct Function {
    const char *name;
    const contract::Module &module;
    const char *const *parameters;
    const int *slots;
    int parameterCount;
    int firstKeywordOnly;
};

// Calls the function with vectorcall arguments; returns the first output, or
// a tuple of all outputs when the module has several; nullptr with a Python
// exception set when the call is refused.
PyObject *call(const Function &function, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames);

// Once at import: the numpy C API and the package's exception classes.
bool initialize();

}  // namespace pythonHost
