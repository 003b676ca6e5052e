#include "host.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// Built against numpy 2's headers, the module also imports under numpy 1.24
// and later: the oldest C API it uses is that release's, and descriptor
// fields are read through numpy's accessors, which know both layouts.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#ifndef NPY_TARGET_VERSION
#define NPY_TARGET_VERSION NPY_1_24_API_VERSION
#endif
#include <numpy/arrayobject.h>
#if NPY_ABI_VERSION < 0x02000000
// numpy 1.x headers (a module that then runs under numpy 1.x only).
#define PyDataType_ELSIZE(descr) ((descr)->elsize)
#endif

#include "common/memory.h"
#include "copy.h"

namespace pythonHost {

namespace {

using contract::ElementClass;

// The package's exception classes (crestsplit.errors), by the kind of reason.
PyObject *typeErrorClass, *valueErrorClass, *memoryErrorClass;
// numpy.from_dlpack, and the name of the method that marks a DLPack producer.
PyObject *fromDlpack, *dlpackName, *numpyName, *torchName;
// torch.Tensor, once torch has been imported and a call has met a tensor.
PyObject *torchTensor;

bool isTorchTensor(PyObject *o) {
    if (!torchTensor) {
        PyObject *torch = PyImport_GetModule(torchName);
        if (torch) torchTensor = PyObject_GetAttrString(torch, "Tensor");
        Py_XDECREF(torch);
        PyErr_Clear();
        if (!torchTensor || !PyType_Check(torchTensor)) {
            Py_CLEAR(torchTensor);
            return false;
        }
    }
    return PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject *>(torchTensor));
}

// DLPack's device type of memory the CPU reads (kDLCPU).
constexpr int cpuDevice = 1;

// The device type that a DLPack producer reports (cpuDevice when it reports
// none it can tell).
int dlpackDeviceType(PyObject *o) {
    PyObject *device = PyObject_CallMethod(o, "__dlpack_device__", nullptr);
    long type = cpuDevice;
    if (device && PyTuple_Check(device) && PyTuple_GET_SIZE(device) >= 1)
        type = PyLong_AsLong(PyTuple_GET_ITEM(device, 0));
    Py_XDECREF(device);
    PyErr_Clear();
    return type == -1 ? cpuDevice : static_cast<int>(type);
}

// The text of the pending Python exception, which it clears.
std::string fetchErrorText() {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyObject *text = value ? PyObject_Str(value) : nullptr;
    const char *utf8 = text ? PyUnicode_AsUTF8(text) : nullptr;
    std::string result = utf8 ? utf8 : "an error without a message";
    Py_XDECREF(text);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    return result;
}

// A refused call on its way to the front end: thrown by raise(), which may
// run without the GIL, and turned into a Python exception once it is held.
struct Refusal {
    std::string identifier;
    std::string message;
};

PyObject *errorClassFor(const std::string &identifier) {
    switch (contract::kindOf(identifier.c_str() + identifier.find(':') + 1)) {
    case contract::ReasonKind::value: return valueErrorClass;
    case contract::ReasonKind::memory: return memoryErrorClass;
    default: return typeErrorClass;
    }
}

void setError(const Refusal &r) {
    PyObject *error = PyObject_CallFunction(errorClassFor(r.identifier), "ss", r.message.c_str(), r.identifier.c_str());
    if (!error) return;
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error)), error);
    Py_DECREF(error);
}

struct ClassName {
    ElementClass cls;
    const char *name;
    int typeNumber;
};

const ClassName classNames[] = {
    {ElementClass::logical, "bool", NPY_BOOL},       {ElementClass::float64, "float64", NPY_FLOAT64},
    {ElementClass::float32, "float32", NPY_FLOAT32}, {ElementClass::int8, "int8", NPY_INT8},
    {ElementClass::uint8, "uint8", NPY_UINT8},       {ElementClass::int16, "int16", NPY_INT16},
    {ElementClass::uint16, "uint16", NPY_UINT16},    {ElementClass::int32, "int32", NPY_INT32},
    {ElementClass::uint32, "uint32", NPY_UINT32},    {ElementClass::int64, "int64", NPY_INT64},
    {ElementClass::uint64, "uint64", NPY_UINT64},
};

const ClassName *byClass(ElementClass cls) {
    for (const ClassName &c : classNames)
        if (c.cls == cls) return &c;
    return nullptr;
}

// A native, real or complex numpy element type as one of the contract's classes.
ElementClass classOf(const PyArray_Descr *d, bool *complex) {
    const int size = static_cast<int>(PyDataType_ELSIZE(d));
    *complex = d->kind == 'c';
    switch (d->kind) {
    case 'b': return ElementClass::logical;
    case 'i': return size == 1 ? ElementClass::int8 : size == 2 ? ElementClass::int16
                   : size == 4 ? ElementClass::int32 : size == 8 ? ElementClass::int64 : ElementClass::unknown;
    case 'u': return size == 1 ? ElementClass::uint8 : size == 2 ? ElementClass::uint16
                   : size == 4 ? ElementClass::uint32 : size == 8 ? ElementClass::uint64 : ElementClass::unknown;
    case 'f': return size == 4 ? ElementClass::float32 : size == 8 ? ElementClass::float64 : ElementClass::unknown;
    case 'c': return size == 8 ? ElementClass::float32 : size == 16 ? ElementClass::float64 : ElementClass::unknown;
    default: return ElementClass::unknown;
    }
}

template <typename T> double firstAs(const void *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<double>(v);
}

double firstElement(ElementClass cls, const void *p) {
    switch (cls) {
    case ElementClass::logical: return *static_cast<const unsigned char *>(p) != 0;
    case ElementClass::int8: return firstAs<int8_t>(p);
    case ElementClass::uint8: return firstAs<uint8_t>(p);
    case ElementClass::int16: return firstAs<int16_t>(p);
    case ElementClass::uint16: return firstAs<uint16_t>(p);
    case ElementClass::int32: return firstAs<int32_t>(p);
    case ElementClass::uint32: return firstAs<uint32_t>(p);
    case ElementClass::int64: return firstAs<int64_t>(p);
    case ElementClass::uint64: return firstAs<uint64_t>(p);
    case ElementClass::float32: return firstAs<float>(p);  // a complex one's real part
    case ElementClass::float64: return firstAs<double>(p);
    default: return 0.0;
    }
}

// Column-major copies are made in buffers that each thread keeps for its
// next call: a fresh buffer costs more to fault in than a small copy. Copies
// above keptCopyBytes get a buffer of their own, freed with the call, so that
// no thread (a dask pool has many) holds large buffers between calls.
constexpr size_t keptCopyBytes = size_t{4} << 20;

struct CopyBuffer {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
};

unsigned char *copyBuffer(int slot, size_t bytes, std::unique_ptr<unsigned char[]> &own) {
    thread_local CopyBuffer kept[maxSlots];
    if (bytes > keptCopyBytes) {
        own.reset(new unsigned char[bytes]);
        return own.get();
    }
    CopyBuffer &b = kept[slot];
    if (b.size < bytes) {
        b.bytes.reset();
        b.bytes.reset(new unsigned char[bytes]);
        b.size = bytes;
    }
    return b.bytes.get();
}

// One input as the contract sees it, with what keeps its data.
struct Slot {
    PyObject *object = nullptr;        // borrowed from the caller
    PyArrayObject *array = nullptr;    // the array seen: `object`, or `owned`
    PyObject *owned = nullptr;         // a numpy scalar made a 0-d array
    std::unique_ptr<unsigned char[]> copy;  // a copy too large to keep (copyBuffer)
    const void *data = nullptr;
    double number = 0.0;               // a Python number's value
    int parameter = -1;                // its Python parameter, -1 for a placeholder
    bool seen = false;                 // view, array and number filled in
    char typeName[48] = "";
    contract::ArrayView view;
};

class PythonHost final : public contract::Host {
public:
    explicit PythonHost(const Function &f) : f_(f) {}
    ~PythonHost() {
        for (Slot &s : slots_) Py_XDECREF(s.owned);
        for (PyObject *o : outputs_) Py_XDECREF(o);
    }

    void bind(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames);
    PyObject *result();

    contract::ArrayView view(int input) const override { return seen(input).view; }
    const void *data(int input) override;
    contract::Strided strided(int input) override;
    double firstValue(int input) const override;
    void *output(int slot, contract::OutputShape shape, size_t m, size_t n, ElementClass cls) override;
    contract::Argument argument(int input) const override {
        const int p = slots_[input].parameter;
        return {p + 1, p >= 0 ? f_.parameters.names[p] : "unused"};
    }
    const char *className(ElementClass cls) const override {
        const ClassName *c = byClass(cls);
        return c ? c->name : "unknown";
    }
    const char *conversion(int input, ElementClass cls, char *text, size_t size) const override;
    bool numpyTerms() const override { return true; }
    void elementName(int input, size_t index, char *text, size_t size) const override;
    [[noreturn]] void raise(const char *identifier, const char *message) override { throw Refusal{identifier, message}; }
    void enterRegion() override { state_ = PyEval_SaveThread(); }
    void leaveRegion() override {
        PyEval_RestoreThread(state_);
        state_ = nullptr;
    }

private:
    [[noreturn]] void refuse(const char *reason, const std::string &message) const {
        throw Refusal{std::string(f_.module.name) + ":" + reason, message};
    }
    // An input is looked at only when the contract first asks about it (a
    // contract asks before its region, while the GIL is held): most calls
    // never ask about some of them.
    Slot &seen(int input) const {
        Slot &s = slots_[input];
        if (!s.seen) {
            see(s);
            s.seen = true;
        }
        return s;
    }
    void see(Slot &s) const;
    void seeForeign(Slot &s) const;
    [[noreturn]] void refuseForeign(const Slot &s, bool dlpack) const;
    void seeArray(Slot &s, PyArrayObject *a) const;
    std::string expected() const;

    const Function &f_;
    mutable Slot slots_[maxSlots];
    PyObject *outputs_[maxOutputs] = {};
    size_t outputBytes_ = 0;
    PyThreadState *state_ = nullptr;
};

std::string PythonHost::expected() const {
    std::string names;
    for (int p = 0; p < f_.parameters.count; ++p) {
        if (p == f_.parameters.firstKeywordOnly) names += "; by keyword: ";
        else if (p > 0) names += ", ";
        names += f_.parameters.names[p];
    }
    return std::to_string(f_.parameters.firstKeywordOnly) + " expected (" + names + ")";
}

void PythonHost::bind(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    for (int p = 0; p < f_.parameters.count; ++p) slots_[f_.parameters.slots[p]].parameter = p;
    if (nargs > f_.parameters.firstKeywordOnly)
        refuse(contract::reason::tooManyInputs, "Inputs: " + expected() + "; " + std::to_string(nargs) + " given.");
    for (Py_ssize_t i = 0; i < nargs; ++i) slots_[f_.parameters.slots[i]].object = args[i];
    const Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject *key = PyTuple_GET_ITEM(kwnames, k);
        int p = 0;
        while (p < f_.parameters.count && PyUnicode_CompareWithASCIIString(key, f_.parameters.names[p]) != 0) ++p;
        const char *keyText = PyUnicode_AsUTF8(key);
        if (!keyText) PyErr_Clear();
        if (p == f_.parameters.count)
            refuse(contract::reason::tooManyInputs, std::string("Inputs: ") + f_.module.pythonName +
                                                        "() has no argument '" + (keyText ? keyText : "?") + "'.");
        Slot &s = slots_[f_.parameters.slots[p]];
        if (s.object)
            refuse(contract::reason::tooManyInputs, "Inputs: argument " + std::to_string(p + 1) + " (" +
                                                        f_.parameters.names[p] + ") given twice.");
        s.object = args[nargs + k];
    }
    int given = 0;
    for (int p = 0; p < f_.parameters.firstKeywordOnly; ++p) given += slots_[f_.parameters.slots[p]].object != nullptr;
    if (given < f_.parameters.firstKeywordOnly)
        refuse(contract::reason::notEnoughInputs, "Inputs: " + expected() + "; " + std::to_string(given) + " given.");
}

void PythonHost::see(Slot &s) const {
    contract::ArrayView &v = s.view;
    PyObject *o = s.object;
    if (!o || (o == Py_None && s.parameter >= f_.parameters.firstKeywordOnly)) {
        v.cls = ElementClass::absent;
        v.typeName = "None";
        return;
    }
    if (PyArray_Check(o)) return seeArray(s, reinterpret_cast<PyArrayObject *>(o));
    if (PyArray_IsScalar(o, Generic)) {
        s.owned = PyArray_FromScalar(o, nullptr);
        if (!s.owned) throw std::bad_alloc();
        return seeArray(s, reinterpret_cast<PyArrayObject *>(s.owned));
    }
    // Python numbers: 1-by-1, as MATLAB's scalars.
    v.typeName = Py_TYPE(o)->tp_name;
    if (PyBool_Check(o) || PyLong_Check(o) || PyFloat_Check(o)) {
        v.cls = PyBool_Check(o) ? ElementClass::logical : ElementClass::float64;
        v.ndims = 2;
        v.rows = v.columns = v.count = 1;
        s.number = PyFloat_Check(o) ? PyFloat_AS_DOUBLE(o) : PyLong_AsDouble(o);
        if (s.number == -1.0 && PyErr_Occurred()) {  // beyond a double: as far out as it goes
            PyErr_Clear();
            PyObject *zero = PyLong_FromLong(0);
            const int negative = zero ? PyObject_RichCompareBool(o, zero, Py_LT) : 0;
            Py_XDECREF(zero);
            s.number = negative > 0 ? -HUGE_VAL : HUGE_VAL;
        }
        s.data = &s.number;
        return;
    }
    seeForeign(s);
}

// Another library's array, read in place as a numpy array over its memory:
// through DLPack (PyTorch's tensors, ...) or else the buffer protocol. Any
// other object keeps an unknown class and is refused by the contract.
void PythonHost::seeForeign(Slot &s) const {
    PyObject *o = s.object;
    const bool dlpack = PyObject_HasAttr(o, dlpackName);
    if (!dlpack && !PyObject_CheckBuffer(o)) return;
    PyObject *array = nullptr;
    if (dlpack && isTorchTensor(o)) {
        // PyTorch's own view: a third of the cost of its DLPack export, and
        // it refuses a tensor with the negative bit set, whose export gives
        // the values without their sign.
        array = PyObject_CallMethodNoArgs(o, numpyName);
    } else if (dlpack) {
        array = PyObject_CallOneArg(fromDlpack, o);
    } else if (PyObject *buffer = PyMemoryView_FromObject(o)) {
        array = PyArray_FromAny(buffer, nullptr, 0, 0, 0, nullptr);
        Py_DECREF(buffer);
    }
    if (array && !PyArray_Check(array)) {  // a subclass's numpy() may give anything
        Py_DECREF(array);
        array = nullptr;
        PyErr_SetString(PyExc_TypeError, "its numpy() gave no numpy array.");
    }
    if (!array) refuseForeign(s, dlpack);
    s.owned = array;
    seeArray(s, reinterpret_cast<PyArrayObject *>(array));
}

// Why an object that offers its memory did not give it, with what to do.
void PythonHost::refuseForeign(const Slot &s, bool dlpack) const {
    const std::string why = fetchErrorText();
    const std::string name = f_.parameters.names[s.parameter];
    std::string message = "Argument " + std::to_string(s.parameter + 1) + " (" + name + ") ";
    PyObject *o = s.object;
    const int device = dlpack ? dlpackDeviceType(o) : cpuDevice;
    PyObject *grad = dlpack ? PyObject_GetAttrString(o, "requires_grad") : nullptr;
    const bool needsGrad = grad && PyObject_IsTrue(grad) == 1;
    Py_XDECREF(grad);
    PyErr_Clear();
    if (device != cpuDevice)
        message += "lies on another device (DLPack device type " + std::to_string(device) +
                   "); only memory on the CPU is read. Pass " + name + (needsGrad ? ".detach()" : "") + ".cpu().";
    else if (needsGrad)
        message += "is a tensor that requires grad, which it does not export. Pass " + name + ".detach().";
    else
        message += "cannot be read in place: " + why;
    refuse(contract::reason::wrongClass, message);
}

void PythonHost::seeArray(Slot &s, PyArrayObject *a) const {
    contract::ArrayView &v = s.view;
    s.array = a;
    const PyArray_Descr *d = PyArray_DESCR(a);
    const char *name = d->typeobj->tp_name;
    if (std::strncmp(name, "numpy.", 6) == 0) name += 6;
    v.cls = classOf(d, &v.complex);
    const ClassName *c = byClass(v.cls);
    v.typeName = c && !v.complex ? c->name : name;
    if (!PyArray_ISNOTSWAPPED(a)) {
        v.cls = ElementClass::unknown;
        std::snprintf(s.typeName, sizeof s.typeName, "%s (non-native byte order)", name);
        v.typeName = s.typeName;
    }
    const int nd = PyArray_NDIM(a);
    const npy_intp *shape = PyArray_DIMS(a);
    v.ndims = static_cast<size_t>(nd);
    v.rows = nd > 0 ? static_cast<size_t>(shape[0]) : 1;
    v.columns = 1;
    for (int k = 1; k < nd; ++k) v.columns *= static_cast<size_t>(shape[k]);
    v.count = static_cast<size_t>(PyArray_SIZE(a));
}

const void *PythonHost::data(int input) {
    Slot &s = seen(input);
    if (s.data) return s.data;
    PyArrayObject *a = s.array;
    if (PyArray_IS_F_CONTIGUOUS(a) && PyArray_ISALIGNED(a)) return s.data = PyArray_DATA(a);
    const size_t item = static_cast<size_t>(PyArray_ITEMSIZE(a));
    const size_t bytes = s.view.count * item;
    // A view may claim far more elements than its memory holds (stride 0): a
    // copy the system cannot give is refused, not faulted in until it fails.
    uint64_t available = 0;
    if (!memory::scratchFits(bytes, &available)) {
        const contract::Argument arg = argument(input);
        refuse(contract::reason::outOfMemory,
               "Argument " + std::to_string(arg.position) + " (" + arg.name +
                   ") is not an aligned array in Fortran order; its copy in that order needs " +
                   std::to_string(bytes) + " bytes, more than the " + std::to_string(available) +
                   " bytes the system reports available.");
    }
    unsigned char *to = copyBuffer(input, bytes, s.copy);
    const copy::Strided from{static_cast<const unsigned char *>(PyArray_DATA(a)), PyArray_NDIM(a), PyArray_DIMS(a),
                             PyArray_STRIDES(a), item};
    // A large copy lets other Python threads run (the array stays exported).
    if (!state_ && bytes >= (size_t{1} << 20)) {
        Py_BEGIN_ALLOW_THREADS
        copy::toColumnMajor(from, to);
        Py_END_ALLOW_THREADS
    } else {
        copy::toColumnMajor(from, to);
    }
    return s.data = to;
}

// numpy's own strides where they count whole elements of an aligned,
// native array of at most two dimensions; else the column-major copy.
contract::Strided PythonHost::strided(int input) {
    Slot &s = slots_[input];
    PyArrayObject *a = s.array;
    const ptrdiff_t rows = static_cast<ptrdiff_t>(s.view.rows);
    if (!a || PyArray_NDIM(a) > 2 || !PyArray_ISALIGNED(a) || !PyArray_ISNOTSWAPPED(a))
        return {data(input), 1, rows};
    const int nd = PyArray_NDIM(a);
    const npy_intp item = PyArray_ITEMSIZE(a);
    const npy_intp *strides = PyArray_STRIDES(a);
    // A dimension of length 1 is never stepped along: its stride, which numpy
    // leaves free, is not read.
    const npy_intp rowBytes = nd > 0 && s.view.rows > 1 ? strides[0] : item;
    const npy_intp columnBytes = nd > 1 && s.view.columns > 1 ? strides[1] : rows * rowBytes;
    if (item == 0 || rowBytes % item != 0 || columnBytes % item != 0) return {data(input), 1, rows};
    return {PyArray_DATA(a), rowBytes / item, columnBytes / item};
}

double PythonHost::firstValue(int input) const {
    const Slot &s = seen(input);
    if (!s.array) return s.number;
    return firstElement(s.view.cls, PyArray_DATA(s.array));
}

void *PythonHost::output(int slot, contract::OutputShape shape, size_t m, size_t n, ElementClass cls) {
    const npy_intp dims[2] = {static_cast<npy_intp>(m), static_cast<npy_intp>(n)};
    PyObject *out = shape == contract::OutputShape::row
                        ? PyArray_ZEROS(1, dims + 1, byClass(cls)->typeNumber, 0)
                        : PyArray_ZEROS(2, dims, byClass(cls)->typeNumber,
                                        shape == contract::OutputShape::rowMajorMatrix ? 0 : 1);
    if (!out) {
        PyErr_Clear();
        throw std::bad_alloc();
    }
    outputs_[slot] = out;
    // numpy's zeros are faulted in as the kernel writes them, after every
    // output exists: together they must fit (an empty X may have 2^31 - 1
    // columns, so three rows of 16 GiB).
    outputBytes_ += static_cast<size_t>(PyArray_NBYTES(reinterpret_cast<PyArrayObject *>(out)));
    uint64_t available = 0;
    if (!memory::scratchFits(outputBytes_, &available))
        refuse(contract::reason::outOfMemory,
               "Output " + std::to_string(slot + 1) + " (" + std::to_string(m) + " by " + std::to_string(n) + " " +
                   className(cls) + ") brings the call's outputs to " + std::to_string(outputBytes_) +
                   " bytes, more than the " + std::to_string(available) + " bytes the system reports available.");
    return PyArray_DATA(reinterpret_cast<PyArrayObject *>(out));
}

const char *PythonHost::conversion(int input, ElementClass cls, char *text, size_t size) const {
    const Slot &s = seen(input);
    const char *name = f_.parameters.names[s.parameter];
    const char *to = className(cls);
    if (s.array && s.array == reinterpret_cast<PyArrayObject *>(s.object))
        std::snprintf(text, size, " Convert it with %s.astype(numpy.%s).", name, to);
    else if (s.array && torchTensor && PyObject_TypeCheck(s.object, reinterpret_cast<PyTypeObject *>(torchTensor)))
        std::snprintf(text, size, " Convert it with %s.to(torch.%s).", name, to);
    else
        std::snprintf(text, size, " Convert it with numpy.asarray(%s, dtype=numpy.%s).", name, to);
    return text;
}

void PythonHost::elementName(int input, size_t index, char *text, size_t size) const {
    const Slot &s = seen(input);
    const int nd = s.array ? PyArray_NDIM(s.array) : 0;
    int used = std::snprintf(text, size, "%s", argument(input).name);
    for (int k = 0; k < nd && used >= 0 && static_cast<size_t>(used) < size; ++k) {
        // Column-major: the first index fastest.
        const size_t extent = static_cast<size_t>(PyArray_DIMS(s.array)[k]);
        const size_t at = k + 1 < nd && extent > 0 ? index % extent : index;
        if (extent > 0) index /= extent;
        used += std::snprintf(text + used, size - static_cast<size_t>(used), "%s%zu%s", k == 0 ? "[" : ", ", at,
                              k + 1 == nd ? "]" : "");
    }
}

PyObject *PythonHost::result() {
    if (f_.module.outputCount == 1) {
        PyObject *out = outputs_[0];
        outputs_[0] = nullptr;
        return out;
    }
    PyObject *tuple = PyTuple_New(f_.module.outputCount);
    if (!tuple) return nullptr;
    for (int k = 0; k < f_.module.outputCount; ++k) {
        PyTuple_SET_ITEM(tuple, k, outputs_[k]);
        outputs_[k] = nullptr;
    }
    return tuple;
}

}  // namespace

PyObject *call(const Function &function, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    PythonHost host(function);
    try {
        host.bind(args, nargs, kwnames);
        contract::Call call(function.module, host);
        function.module.run(call);
        return host.result();
    } catch (const Refusal &r) {
        setError(r);
    } catch (const std::bad_alloc &) {
        setError(Refusal{std::string(function.module.name) + ":" + contract::reason::outOfMemory,
                         "Out of memory while preparing the call."});
    }
    return nullptr;
}

bool initialize() {
    if (_import_array() < 0) return false;
    PyObject *errors = PyImport_ImportModule("crestsplit.errors");
    if (!errors) return false;
    typeErrorClass = PyObject_GetAttrString(errors, "ArgumentTypeError");
    valueErrorClass = PyObject_GetAttrString(errors, "ArgumentValueError");
    memoryErrorClass = PyObject_GetAttrString(errors, "ScratchMemoryError");
    Py_DECREF(errors);
    PyObject *numpy = PyImport_ImportModule("numpy");
    if (!numpy) return false;
    fromDlpack = PyObject_GetAttrString(numpy, "from_dlpack");
    Py_DECREF(numpy);
    dlpackName = PyUnicode_InternFromString("__dlpack__");
    numpyName = PyUnicode_InternFromString("numpy");
    torchName = PyUnicode_InternFromString("torch");
    return typeErrorClass && valueErrorClass && memoryErrorClass && fromDlpack && dlpackName && numpyName && torchName;
}

}  // namespace pythonHost
