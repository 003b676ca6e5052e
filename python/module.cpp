// crestsplit._kernels: the three modules as Python functions (vectorcall,
// METH_FASTCALL), each over its module's contract (modules/<name>.cpp).
#include "common/parallel.h"
#include "contract/modules.h"
#include "docstrings.h"
#include "host.h"

namespace {

const char *const crestThinParameters[] = {"edge", "orientation", "radius", "margin", "multiplier", "threads"};
const int crestThinSlots[] = {0, 1, 2, 3, 4, 5};
const pythonHost::Function crestThin{"crest_thin", modules::crestThin, crestThinParameters, crestThinSlots, 6, 5};

// MATLAB's placeholder (slot 5) is left out.
const char *const splitScanParameters[] = {"X", "labels", "weights", "sorted_order", "n_classes", "class_weights"};
const int splitScanSlots[] = {0, 1, 2, 3, 4, 6};
const pythonHost::Function splitScan{"split_scan", modules::splitScan, splitScanParameters, splitScanSlots, 6, 6};

// MATLAB's placeholder (slot 7) is left out.
const char *const splitScanBinnedParameters[] = {"binned",   "labels",    "weights",       "n_bins", "node_samples",
                                                 "features", "n_classes", "class_weights", "threads"};
const int splitScanBinnedSlots[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
const pythonHost::Function splitScanBinned{"split_scan_binned", modules::splitScanBinned, splitScanBinnedParameters,
                                           splitScanBinnedSlots, 9, 8};

PyObject *crestThinCall(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    return pythonHost::call(crestThin, args, nargs, kwnames);
}
PyObject *splitScanCall(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    return pythonHost::call(splitScan, args, nargs, kwnames);
}
PyObject *splitScanBinnedCall(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    return pythonHost::call(splitScanBinned, args, nargs, kwnames);
}

PyMethodDef methods[] = {
    {"crest_thin", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(crestThinCall)),
     METH_FASTCALL | METH_KEYWORDS, docstrings::crestThin},
    {"split_scan", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(splitScanCall)),
     METH_FASTCALL | METH_KEYWORDS, docstrings::splitScan},
    {"split_scan_binned", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(splitScanBinnedCall)),
     METH_FASTCALL | METH_KEYWORDS, docstrings::splitScanBinned},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef moduleDef = {PyModuleDef_HEAD_INIT, "crestsplit._kernels", docstrings::module, -1, methods,
                         nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__kernels() {
    if (!pythonHost::initialize()) return nullptr;
    // Pinned now, while one thread imports: calls then only read the flag.
    parallel::keepThreadRuntimeLoaded();
    return PyModule_Create(&moduleDef);
}
