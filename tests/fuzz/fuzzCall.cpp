#include "fuzzCall.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "host/mexError.h"

namespace fuzz {

namespace {

// Every class the stand-in host makes.
const mxClassID anyClass[] = {mxCELL_CLASS,  mxSTRUCT_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS,     mxDOUBLE_CLASS,
                              mxSINGLE_CLASS, mxINT8_CLASS,  mxUINT8_CLASS,   mxINT16_CLASS,    mxUINT16_CLASS,
                              mxINT32_CLASS,  mxUINT32_CLASS, mxINT64_CLASS,  mxUINT64_CLASS,   mxFUNCTION_CLASS};

const double specialValues[] = {
    NAN, -NAN, INFINITY, -INFINITY, 0.0, -0.0, 4.9e-324, FLT_TRUE_MIN, FLT_MIN / 2, FLT_MAX, -FLT_MAX, DBL_MAX,
    2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0, 4294967295.0, 4294967296.0, 9007199254740993.0,
    2.9, -2.9, 0.5, -0.5, 255.0, 256.0, 65536.0, 65537.0, 1e30, -1e30, 3e38};

size_t elementBytes(mxClassID id) {
    switch (id) {
    case mxLOGICAL_CLASS: case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS: case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    default: return 0;  // cells, structs and handles keep their null elements
    }
}

// v in the integer type T, NaN as 0 and the rest saturated.
template <typename T> T saturate(double v) {
    constexpr T low = std::numeric_limits<T>::lowest(), high = std::numeric_limits<T>::max();
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(low)) return low;
    if (v >= static_cast<double>(high)) return high;
    return static_cast<T>(v);
}

template <typename T> void put(void *data, size_t i, T v) { static_cast<T *>(data)[i] = v; }

void store(void *data, mxClassID id, size_t i, double v) {
    switch (id) {
    case mxDOUBLE_CLASS: put(data, i, v); break;
    case mxSINGLE_CLASS: put(data, i, static_cast<float>(v)); break;
    case mxLOGICAL_CLASS: put<uint8_t>(data, i, v != 0.0); break;
    case mxCHAR_CLASS: case mxUINT16_CLASS: put(data, i, saturate<uint16_t>(v)); break;
    case mxINT8_CLASS: put(data, i, saturate<int8_t>(v)); break;
    case mxUINT8_CLASS: put(data, i, saturate<uint8_t>(v)); break;
    case mxINT16_CLASS: put(data, i, saturate<int16_t>(v)); break;
    case mxINT32_CLASS: put(data, i, saturate<int32_t>(v)); break;
    case mxUINT32_CLASS: put(data, i, saturate<uint32_t>(v)); break;
    case mxINT64_CLASS: put(data, i, saturate<int64_t>(v)); break;
    case mxUINT64_CLASS: put(data, i, saturate<uint64_t>(v)); break;
    default: break;
    }
}

double drawValue(FuzzedDataProvider &p, const Values &v) {
    const uint8_t pick = p.ConsumeIntegral<uint8_t>();
    if (pick < 192) return static_cast<double>(v.lo + static_cast<int64_t>(pick % (v.hi - v.lo + 1))) * v.step;
    if (pick < 248) return specialValues[pick % std::size(specialValues)];
    return p.ConsumeFloatingPoint<double>();
}

// Dimensions the fuzzer picks: the expected ones, mostly, or any 2-D or N-D ones;
// all within what is left of the budget.
std::vector<size_t> pickDims(FuzzedDataProvider &p, const Expected &e, uint8_t form, size_t budget) {
    std::vector<size_t> dims{e.rows, e.cols};
    if (form >> 4 == 14) dims = {p.ConsumeIntegralInRange<size_t>(0, 70), p.ConsumeIntegralInRange<size_t>(0, 70)};
    if (form >> 4 == 15) {
        dims.assign(p.ConsumeIntegralInRange<size_t>(0, 4), 0);
        for (size_t &d : dims) d = p.ConsumeIntegralInRange<size_t>(0, 5);
    }
    size_t count = 1;
    for (size_t d : dims) count *= d;
    if (count > budget && dims.size() == 2) dims = {std::min(dims[0], budget), budget / std::max<size_t>(std::min(dims[0], budget), 1)};
    else if (count > budget) dims = {0, 0};
    return dims;
}

host::Array makeArgument(FuzzedDataProvider &p, const Expected &e, size_t &budget) {
    // Form: low 4 bits 15 take any class; high 4 bits the dimensions
    // (pickDims). Contents: complex, sparse, raw bytes or drawn values.
    // The zero bytes of an exhausted input make the expected argument.
    const uint8_t form = p.ConsumeIntegral<uint8_t>(), contents = p.ConsumeIntegral<uint8_t>();
    const mxClassID id = (form & 15) == 15 ? anyClass[p.ConsumeIntegralInRange<size_t>(0, std::size(anyClass) - 1)] : e.id;
    const std::vector<size_t> dims = pickDims(p, e, form, budget);
    host::Array a = host::makeArray(id, dims, contents >= 240 ? mxCOMPLEX : mxREAL);
    if (contents >= 232 && contents < 240) standinMarkSparse(a.get());
    const size_t count = mxGetNumberOfElements(a.get());
    budget -= count;
    void *data = mxGetData(a.get());
    if (contents >= 200 && contents < 232) {
        const std::vector<uint8_t> raw = p.ConsumeBytes<uint8_t>(count * elementBytes(id));
        if (!raw.empty()) std::memcpy(data, raw.data(), raw.size());
    } else if (elementBytes(id) > 0) {
        for (size_t i = 0; i < count; ++i) store(data, id, i, drawValue(p, e.values));
    }
    return a;
}

// The identifiers a module's help file documents: every "<module>:<reason>".
const std::set<std::string> &documentedIds(const char *module) {
    static std::map<std::string, std::set<std::string>> ids;
    auto found = ids.find(module);
    if (found != ids.end()) return found->second;
    std::ifstream file(std::string(FUZZ_HELP_DIR "/") + module + ".m");
    std::stringstream text;
    text << file.rdbuf();
    const std::string help = text.str(), prefix = std::string(module) + ":";
    std::set<std::string> &set = ids[module];
    for (size_t at = help.find(prefix); at != std::string::npos; at = help.find(prefix, at + 1)) {
        size_t end = at + prefix.size();
        while (end < help.size() && std::isalpha(static_cast<unsigned char>(help[end]))) ++end;
        if (end > at + prefix.size()) set.insert(help.substr(at, end - at));
    }
    if (set.empty()) finding(module, "its help file lists no error identifiers");
    return set;
}

std::vector<std::vector<uint8_t>> snapshot(const Call &call) {
    std::vector<std::vector<uint8_t>> copies;
    for (const host::Array &a : call.inputs) {
        const uint8_t *data = static_cast<const uint8_t *>(mxGetData(a.get()));
        copies.emplace_back(data, data + mxGetNumberOfElements(a.get()) * elementBytes(mxGetClassID(a.get())));
    }
    return copies;
}

}  // namespace

Call makeCall(FuzzedDataProvider &p, const std::vector<Expected> &expected, int outputCount) {
    Call call;
    const uint8_t outputs = p.ConsumeIntegral<uint8_t>();
    call.nlhs = outputs < 224 ? 1 + outputs % outputCount : -1 + outputs % (outputCount + 3);
    const uint8_t inputs = p.ConsumeIntegral<uint8_t>();
    const size_t nrhs = inputs < 240 ? expected.size() : inputs % (expected.size() + 2);
    size_t budget = elementBudget;
    for (size_t i = 0; i < nrhs; ++i)
        call.inputs.push_back(makeArgument(p, i < expected.size() ? expected[i] : scalarOf({0, 0, 1}), budget));
    return call;
}

int32_t truncatedScalar(const mxArray *a) {
    const double v = mxGetScalar(a);
    return v > -2147483649.0 && v < 2147483648.0 ? static_cast<int32_t>(v) : INT32_MIN;
}

void finding(const char *module, const std::string &what) {
    std::fprintf(stderr, "\n%s: finding: %s\n", module, what.c_str());
    std::abort();
}

Outcome callEntry(const char *module, const Call &call, int outputCount, mxClassID id, size_t rows, size_t cols) {
    const size_t slots = call.nlhs < 1 ? 1 : static_cast<size_t>(call.nlhs);
    std::vector<mxArray *> plhs(slots, nullptr);
    std::vector<const mxArray *> prhs;
    for (const host::Array &a : call.inputs) prhs.push_back(a.get());
    const std::vector<std::vector<uint8_t>> before = snapshot(call);
    const uint64_t lastSerial = standinLastSerial();
    Outcome out;
    try {
        mexFunction(call.nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
        out.ok = true;
    } catch (const host::MexError &e) {
        out.errorId = e.identifier();
        if (!documentedIds(module).count(out.errorId))
            finding(module, "undocumented error identifier " + out.errorId + " (" + e.what() + ")");
    } catch (const std::exception &e) {
        finding(module, std::string("uncaught C++ exception: ") + e.what());
    }
    // As the host does: arrays the module made but did not return are freed.
    if (!out.ok) plhs.assign(slots, nullptr);
    standinReleaseCreatedSince(lastSerial, plhs.data(), slots);
    for (mxArray *a : plhs) out.outputs.emplace_back(a);
    if (snapshot(call) != before) finding(module, "an input array was written");
    // FUZZ_TRACE=1: each call's outcome on stderr, to see what an input does.
    static const bool trace = std::getenv("FUZZ_TRACE") != nullptr;
    if (trace) std::fprintf(stderr, "%s: %s\n", module, out.ok ? "result" : out.errorId.c_str());
    if (!out.ok) {
        out.outputs.clear();
        return out;
    }

    if (call.nlhs > outputCount) finding(module, "accepted a call for " + std::to_string(call.nlhs) + " outputs");
    for (size_t slot = 0; slot < slots; ++slot) {
        const mxArray *a = out.outputs[slot].get();
        const std::string which = "output " + std::to_string(slot + 1);
        if (!a) finding(module, which + " is missing");
        if (mxGetClassID(a) != id || mxIsComplex(a) || standinNumberOfDimensions(a) != 2 || mxGetM(a) != rows ||
            mxGetN(a) != cols)
            finding(module, which + " is not a real " + std::to_string(rows) + "-by-" + std::to_string(cols) +
                                " array of class " + std::to_string(id));
    }
    return out;
}

}  // namespace fuzz
