// libmx.so of the stand-in host: arrays and the MX operations on them.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "mxArray.h"

struct mxArray_tag {
    mxClassID classId;
    bool complex;
    bool sparse;
    std::vector<size_t> dims;
    size_t count;
    size_t elementSize;
    void *real;
    void *imag;
    uint64_t serial;
};

namespace {

std::mutex registryLock;
std::unordered_set<mxArray *> live;
uint64_t lastSerial = 0;

size_t elementSize(mxClassID id) {
    switch (id) {
    case mxLOGICAL_CLASS: case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS: case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    default: return sizeof(void *);
    }
}

template <typename T> double firstAs(const void *p) { return static_cast<double>(*static_cast<const T *>(p)); }

}  // namespace

extern "C" {

mxArray *standinCreateArray(size_t ndims, const size_t *dims, mxClassID id, mxComplexity flag) {
    auto *a = new mxArray_tag{id, flag == mxCOMPLEX, false, {}, 1, elementSize(id), nullptr, nullptr, 0};
    for (size_t d = 0; d < ndims; ++d) a->dims.push_back(dims[d]);
    while (a->dims.size() < 2) a->dims.push_back(a->dims.empty() ? 0 : 1);
    // Trailing singleton dimensions beyond the second are dropped, as MATLAB does.
    while (a->dims.size() > 2 && a->dims.back() == 1) a->dims.pop_back();
    for (size_t d : a->dims) a->count *= d;
    // One spare element keeps the pointer of an empty array non-null and unique.
    a->real = std::calloc(a->count + 1, a->elementSize);
    if (a->complex) a->imag = std::calloc(a->count + 1, a->elementSize);
    std::lock_guard<std::mutex> guard(registryLock);
    a->serial = ++lastSerial;
    live.insert(a);
    return a;
}

void standinDestroyArray(mxArray *a) {
    if (!a) return;
    {
        std::lock_guard<std::mutex> guard(registryLock);
        live.erase(a);
    }
    std::free(a->real);
    std::free(a->imag);
    delete a;
}

void *standinImagData(const mxArray *a) { return a->imag; }
void standinMarkSparse(mxArray *a) { a->sparse = true; }
size_t standinNumberOfDimensions(const mxArray *a) { return a->dims.size(); }
const size_t *standinDimensions(const mxArray *a) { return a->dims.data(); }

uint64_t standinLastSerial() {
    std::lock_guard<std::mutex> guard(registryLock);
    return lastSerial;
}

uint64_t standinSerial(const mxArray *a) { return a->serial; }

void standinReleaseCreatedSince(uint64_t after, mxArray *const *keep, size_t keepCount) {
    std::vector<mxArray *> doomed;
    {
        std::lock_guard<std::mutex> guard(registryLock);
        for (mxArray *a : live) {
            if (a->serial <= after) continue;
            bool kept = false;
            for (size_t k = 0; k < keepCount; ++k) kept = kept || keep[k] == a;
            if (!kept) doomed.push_back(a);
        }
    }
    for (mxArray *a : doomed) standinDestroyArray(a);
}

size_t standinLiveArrays() {
    std::lock_guard<std::mutex> guard(registryLock);
    return live.size();
}

// The MX operations, under MATLAB's link names.

void *mxGetData(const mxArray *a) { return a->real; }
size_t mxGetM(const mxArray *a) { return a->dims[0]; }
// Columns: the product of every dimension after the first.
size_t mxGetN(const mxArray *a) {
    size_t n = 1;
    for (size_t d = 1; d < a->dims.size(); ++d) n *= a->dims[d];
    return n;
}
size_t mxGetNumberOfElements(const mxArray *a) { return a->count; }
mxClassID mxGetClassID(const mxArray *a) { return a->classId; }
bool mxIsComplex(const mxArray *a) { return a->complex; }
bool mxIsSparse(const mxArray *a) { return a->sparse; }
int mxGetNumberOfDimensions_700(const mxArray *a) { return static_cast<int>(a->dims.size()); }
size_t mxGetNumberOfDimensions_730(const mxArray *a) { return a->dims.size(); }

double mxGetScalar(const mxArray *a) {
    if (a->count == 0) return 0.0;
    const void *p = a->real;
    switch (a->classId) {
    case mxLOGICAL_CLASS: case mxUINT8_CLASS: return firstAs<uint8_t>(p);
    case mxINT8_CLASS: return firstAs<int8_t>(p);
    case mxCHAR_CLASS: case mxUINT16_CLASS: return firstAs<uint16_t>(p);
    case mxINT16_CLASS: return firstAs<int16_t>(p);
    case mxSINGLE_CLASS: return firstAs<float>(p);
    case mxINT32_CLASS: return firstAs<int32_t>(p);
    case mxUINT32_CLASS: return firstAs<uint32_t>(p);
    case mxDOUBLE_CLASS: return firstAs<double>(p);
    case mxINT64_CLASS: return firstAs<int64_t>(p);
    case mxUINT64_CLASS: return firstAs<uint64_t>(p);
    default: return 0.0;
    }
}

mxArray *mxCreateNumericMatrix_700(int m, int n, mxClassID id, mxComplexity flag) {
    const size_t dims[2] = {static_cast<size_t>(m < 0 ? 0 : m), static_cast<size_t>(n < 0 ? 0 : n)};
    return standinCreateArray(2, dims, id, flag);
}

mxArray *mxCreateNumericMatrix_730(size_t m, size_t n, mxClassID id, mxComplexity flag) {
    const size_t dims[2] = {m, n};
    return standinCreateArray(2, dims, id, flag);
}

void mxDestroyArray(mxArray *a) { standinDestroyArray(a); }

}  // extern "C"
