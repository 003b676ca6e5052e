// Calls recorded on a reference build (Linux x86-64, with OpenMP or serial)
// for replaying on a build for another platform: each call's module, label,
// inputs and result there. Written by platformReference, read by
// platformCheck; the encoding of tests/tools/callFile.h.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/loader.h"
#include "tests/tools/callFile.h"

namespace recorded {

struct Call {
    std::string module;
    std::string label;
    int32_t nlhs = 1;
    // The input that bounds the team (replayed with several bounds), or -1:
    // the team then follows OMP_NUM_THREADS alone.
    int32_t threadInput = -1;
    std::vector<host::Array> inputs;
    host::CallResult result;
    // crestThin: the sine and cosine of every orientation as the recording
    // build takes them (two single arrays of the orientation map's shape).
    std::vector<host::Array> sineCosine;
};

inline constexpr char magic[8] = {'m', 'e', 'x', 'c', 'a', 'l', 'l', 's'};

inline void write(std::ostream &out, const Call &c) {
    using namespace callFile;
    writeText(out, c.module);
    writeText(out, c.label);
    writeValue<int32_t>(out, c.nlhs);
    writeValue<int32_t>(out, c.threadInput);
    writeValue<int32_t>(out, static_cast<int32_t>(c.inputs.size()));
    for (const host::Array &a : c.inputs) writeArray(out, a.get());
    writeResult(out, c.result);
    writeValue<int32_t>(out, static_cast<int32_t>(c.sineCosine.size()));
    for (const host::Array &a : c.sineCosine) writeArray(out, a.get());
}

inline void writeHeader(std::ostream &out) { out.write(magic, sizeof magic); }

// Throws std::runtime_error when the file is missing or malformed.
inline std::vector<Call> readAll(const std::string &path) {
    using namespace callFile;
    std::ifstream in(path, std::ios::binary);
    char head[sizeof magic];
    if (!in.read(head, sizeof head) || std::string(head, sizeof head) != std::string(magic, sizeof magic))
        throw std::runtime_error(path + " is no file of recorded calls");
    std::vector<Call> calls;
    while (in.peek() != std::char_traits<char>::eof()) {
        Call c;
        c.module = readText(in);
        c.label = readText(in);
        c.nlhs = readValue<int32_t>(in);
        c.threadInput = readValue<int32_t>(in);
        for (int32_t i = readValue<int32_t>(in); i > 0; --i) c.inputs.push_back(readArray(in));
        c.result = readResult(in);
        for (int32_t i = readValue<int32_t>(in); i > 0; --i) c.sineCosine.push_back(readArray(in));
        calls.push_back(std::move(c));
    }
    return calls;
}

}  // namespace recorded
