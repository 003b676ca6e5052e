// crossHost MODULE CALLS RESULTS
//
// Replays calls recorded by another host (the Octave suite) on a module loaded
// through the stand-in host, so that both hosts' results can be compared bit
// for bit. Files are little-endian; an array is
//   int32 classId, int32 complex, int32 ndims, uint64 dims[ndims],
//   real data, then imaginary data when complex.
// CALLS holds records of  int32 nlhs, int32 nrhs, nrhs arrays.
// RESULTS gets one record per call:
//   int32 0, int32 count, count arrays                      (success)
//   int32 1, uint32 length, id, uint32 length, message      (host error)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/loader.h"

namespace {

size_t elementSize(mxClassID id) {
    switch (id) {
    case mxLOGICAL_CLASS: case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    default: throw std::runtime_error("class " + std::to_string(id) + " cannot be replayed");
    }
}

template <typename T> T readValue(std::istream &in) {
    T v;
    if (!in.read(reinterpret_cast<char *>(&v), sizeof v)) throw std::runtime_error("truncated calls file");
    return v;
}

template <typename T> void writeValue(std::ostream &out, T v) { out.write(reinterpret_cast<const char *>(&v), sizeof v); }

host::Array readArray(std::istream &in) {
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

void writeArray(std::ostream &out, const mxArray *a) {
    const size_t ndims = standinNumberOfDimensions(a);
    const size_t *dims = standinDimensions(a);
    writeValue<int32_t>(out, mxGetClassID(a));
    writeValue<int32_t>(out, mxIsComplex(a) ? 1 : 0);
    writeValue<int32_t>(out, static_cast<int32_t>(ndims));
    for (size_t d = 0; d < ndims; ++d) writeValue<uint64_t>(out, dims[d]);
    const size_t bytes = mxGetNumberOfElements(a) * elementSize(mxGetClassID(a));
    out.write(static_cast<const char *>(mxGetData(a)), static_cast<std::streamsize>(bytes));
}

void writeText(std::ostream &out, const std::string &s) {
    writeValue<uint32_t>(out, static_cast<uint32_t>(s.size()));
    out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::cerr << "usage: crossHost MODULE CALLS RESULTS\n";
        return 2;
    }
    try {
        host::Module module(argv[1]);
        std::ifstream calls(argv[2], std::ios::binary);
        std::ofstream results(argv[3], std::ios::binary);
        if (!calls || !results) throw std::runtime_error("cannot open the calls or results file");
        int count = 0;
        while (calls.peek() != std::char_traits<char>::eof()) {
            const int32_t nlhs = readValue<int32_t>(calls);
            const int32_t nrhs = readValue<int32_t>(calls);
            std::vector<host::Array> inputs;
            std::vector<const mxArray *> prhs;
            for (int32_t i = 0; i < nrhs; ++i) {
                inputs.push_back(readArray(calls));
                prhs.push_back(inputs.back().get());
            }
            const host::CallResult r = module.call(nlhs, prhs);
            if (r.ok()) {
                writeValue<int32_t>(results, 0);
                int32_t returned = 0;
                for (const host::Array &a : r.outputs) returned += a != nullptr;
                writeValue<int32_t>(results, returned);
                for (const host::Array &a : r.outputs)
                    if (a) writeArray(results, a.get());
            } else {
                writeValue<int32_t>(results, 1);
                writeText(results, r.errorId);
                writeText(results, r.errorMessage);
            }
            ++count;
        }
        if (!results.flush()) throw std::runtime_error("cannot write the results file");
        std::printf("replayed %d calls\n", count);
    } catch (const std::exception &e) {
        std::cerr << "crossHost: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
