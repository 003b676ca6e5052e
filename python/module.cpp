// crestsplit._kernels: the three modules as Python functions (vectorcall,
// METH_FASTCALL), each over its module's contract (modules/<name>.cpp) and
// named as its table (modules/<name>.h) names it.
#include <cstdint>

#include "common/parallel.h"
#include "contract/modules.h"
#include "docstrings.h"
#include "host.h"

namespace {

using pythonHost::parametersOf;

const pythonHost::Function crestThin{modules::crestThin, parametersOf(modules::crestThinSlots::inputs)};
const pythonHost::Function splitScan{modules::splitScan, parametersOf(modules::splitScanSlots::inputs)};
const pythonHost::Function splitScanBinned{modules::splitScanBinned,
                                           parametersOf(modules::splitScanBinnedSlots::inputs)};

// For the tests: the address at which the kernels would read an array, so
// that they can tell an array read in place from one copied into column order.
const contract::Input readAddressInputs[] = {{"array", "array"}};
const char *const readAddressOutputs[] = {"address"};
void readAddress(contract::Call &call) {
    if (call.view(0).cls < contract::ElementClass::logical)
        call.failInput(0, contract::reason::wrongClass, "must be an array; it is %s.", call.view(0).typeName);
    const void *data = call.data<void>(0);
    uint64_t *out = call.output<uint64_t>(0, contract::OutputShape::row, 1, 1, contract::ElementClass::uint64);
    *out = reinterpret_cast<uintptr_t>(data);
}
const contract::Module readAddressModule{"readAddress", "_read_address", readAddressInputs, 1, readAddressOutputs,
                                         1, readAddress, nullptr, 0};
const pythonHost::Function readAddressFunction{readAddressModule, parametersOf(readAddressInputs)};

template <const pythonHost::Function &function>
PyObject *callOf(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    return pythonHost::call(function, args, nargs, kwnames);
}

template <const pythonHost::Function &function>
constexpr PyMethodDef methodOf(const char *doc) {
    return {function.module.pythonName,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(callOf<function>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}

PyMethodDef methods[] = {
    methodOf<crestThin>(docstrings::crestThin),
    methodOf<splitScan>(docstrings::splitScan),
    methodOf<splitScanBinned>(docstrings::splitScanBinned),
    methodOf<readAddressFunction>(nullptr),
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
