// Calls and their results as bytes, for replaying a call recorded in one
// host or build in another. Little-endian; an array is
//   int32 classId, int32 complex, int32 ndims, uint64 dims[ndims],
//   real data, then imaginary data when complex;
// a text is uint32 length, then its bytes; a call's result is
//   int32 0, int32 count, count arrays                      (success)
//   int32 1, text id, text message                          (host error)
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/loader.h"

namespace callFile {

inline size_t elementSize(mxClassID id) {
    switch (id) {
    case mxLOGICAL_CLASS: case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS: case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    // Cells and structs as the stand-in makes them: empty handles.
    case mxCELL_CLASS: case mxSTRUCT_CLASS: return sizeof(void *);
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    default: throw std::runtime_error("class " + std::to_string(id) + " cannot be replayed");
    }
}

template <typename T> T readValue(std::istream &in) {
    T v;
    if (!in.read(reinterpret_cast<char *>(&v), sizeof v)) throw std::runtime_error("truncated file");
    return v;
}

template <typename T> void writeValue(std::ostream &out, T v) { out.write(reinterpret_cast<const char *>(&v), sizeof v); }

inline std::string readText(std::istream &in) {
    const uint32_t length = readValue<uint32_t>(in);
    if (length > (1u << 20)) throw std::runtime_error("bad text length");
    std::string s(length, '\0');
    if (length > 0 && !in.read(&s[0], length)) throw std::runtime_error("truncated text");
    return s;
}

inline void writeText(std::ostream &out, const std::string &s) {
    writeValue<uint32_t>(out, static_cast<uint32_t>(s.size()));
    out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

inline host::Array readArray(std::istream &in) {
    const auto id = static_cast<mxClassID>(readValue<int32_t>(in));
    const bool complex = readValue<int32_t>(in) != 0;
    const int32_t ndims = readValue<int32_t>(in);
    if (ndims < 0 || ndims > 32) throw std::runtime_error("bad dimension count");
    std::vector<size_t> dims;
    size_t count = 1;
    for (int32_t d = 0; d < ndims; ++d) {
        dims.push_back(static_cast<size_t>(readValue<uint64_t>(in)));
        count *= dims.back();
    }
    const size_t bytes = count * elementSize(id);
    host::Array a = host::makeArray(id, dims, complex ? mxCOMPLEX : mxREAL);
    if (!in.read(static_cast<char *>(mxGetData(a.get())), static_cast<std::streamsize>(bytes)))
        throw std::runtime_error("truncated array data");
    if (complex && !in.read(static_cast<char *>(standinImagData(a.get())), static_cast<std::streamsize>(bytes)))
        throw std::runtime_error("truncated imaginary data");
    return a;
}

inline void writeArray(std::ostream &out, const mxArray *a) {
    const size_t ndims = standinNumberOfDimensions(a);
    const size_t *dims = standinDimensions(a);
    writeValue<int32_t>(out, mxGetClassID(a));
    writeValue<int32_t>(out, mxIsComplex(a) ? 1 : 0);
    writeValue<int32_t>(out, static_cast<int32_t>(ndims));
    for (size_t d = 0; d < ndims; ++d) writeValue<uint64_t>(out, dims[d]);
    const size_t bytes = mxGetNumberOfElements(a) * elementSize(mxGetClassID(a));
    out.write(static_cast<const char *>(mxGetData(a)), static_cast<std::streamsize>(bytes));
    if (mxIsComplex(a)) out.write(static_cast<const char *>(standinImagData(a)), static_cast<std::streamsize>(bytes));
}

// The arrays returned (slots the module left empty are not written).
inline void writeResult(std::ostream &out, const host::CallResult &r) {
    if (!r.ok()) {
        writeValue<int32_t>(out, 1);
        writeText(out, r.errorId);
        writeText(out, r.errorMessage);
        return;
    }
    writeValue<int32_t>(out, 0);
    int32_t returned = 0;
    for (const host::Array &a : r.outputs) returned += a != nullptr;
    writeValue<int32_t>(out, returned);
    for (const host::Array &a : r.outputs)
        if (a) writeArray(out, a.get());
}

inline host::CallResult readResult(std::istream &in) {
    host::CallResult r;
    if (readValue<int32_t>(in) != 0) {
        r.errorId = readText(in);
        r.errorMessage = readText(in);
        return r;
    }
    const int32_t count = readValue<int32_t>(in);
    if (count < 0 || count > 64) throw std::runtime_error("bad output count");
    for (int32_t k = 0; k < count; ++k) r.outputs.push_back(readArray(in));
    return r;
}

}  // namespace callFile
