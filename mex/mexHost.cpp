#include "mexHost.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "contract/modules.h"

namespace mexHost {

namespace {

using contract::ElementClass;

struct ClassPair {
    mxClassID id;
    ElementClass cls;
    const char *name;
};

constexpr ClassPair classes[] = {
    {mxCELL_CLASS, ElementClass::cell, "cell"},           {mxSTRUCT_CLASS, ElementClass::structure, "struct"},
    {mxLOGICAL_CLASS, ElementClass::logical, "logical"},  {mxCHAR_CLASS, ElementClass::character, "char"},
    {mxDOUBLE_CLASS, ElementClass::float64, "double"},    {mxSINGLE_CLASS, ElementClass::float32, "single"},
    {mxINT8_CLASS, ElementClass::int8, "int8"},           {mxUINT8_CLASS, ElementClass::uint8, "uint8"},
    {mxINT16_CLASS, ElementClass::int16, "int16"},        {mxUINT16_CLASS, ElementClass::uint16, "uint16"},
    {mxINT32_CLASS, ElementClass::int32, "int32"},        {mxUINT32_CLASS, ElementClass::uint32, "uint32"},
    {mxINT64_CLASS, ElementClass::int64, "int64"},        {mxUINT64_CLASS, ElementClass::uint64, "uint64"},
    {mxFUNCTION_CLASS, ElementClass::function, "function_handle"},
};

// Each class id's entry in `classes` (-1: none), looked up for every view.
constexpr int idCount = mxFUNCTION_CLASS + 1;
struct IdIndex {
    int8_t of[idCount];
    constexpr IdIndex() : of() {
        for (int8_t &i : of) i = -1;
        for (size_t c = 0; c < std::size(classes); ++c) of[classes[c].id] = static_cast<int8_t>(c);
    }
};
constexpr IdIndex idIndex;

const ClassPair *byId(mxClassID id) {
    const int i = static_cast<int>(id);
    return i >= 0 && i < idCount && idIndex.of[i] >= 0 ? &classes[idIndex.of[i]] : nullptr;
}

const ClassPair *byClass(ElementClass cls) {
    for (const ClassPair &c : classes)
        if (c.cls == cls) return &c;
    return nullptr;
}

// Views for as many inputs as any module takes: a call with another number
// is refused before a view is asked for.
constexpr int maxInputs = modules::mostInputs;

// The MATLAB names of a module's inputs, joined by ", ", with the terminator.
template <size_t n>
constexpr size_t joinedNamesSize(const contract::Input (&inputs)[n]) {
    size_t size = 1 + 2 * (n - 1);
    for (const contract::Input &input : inputs)
        for (const char *c = input.matlabName; *c; ++c) ++size;
    return size;
}
constexpr size_t namesSize = 320;
static_assert(joinedNamesSize(modules::crestThinSlots::inputs) <= namesSize &&
                  joinedNamesSize(modules::splitScanSlots::inputs) <= namesSize &&
                  joinedNamesSize(modules::splitScanBinnedSlots::inputs) <= namesSize,
              "the inputs' names fit the message that lists them");

class MexHost final : public contract::Host {
public:
    MexHost(const contract::Module &module, int nlhs, mxArray *plhs[], const mxArray *prhs[])
        : module_(module), nlhs_(nlhs), plhs_(plhs), prhs_(prhs) {}

    contract::ArrayView view(int input) const override {
        contract::ArrayView &v = views_[input];
        if (!seen_[input]) {
            const mxArray *a = prhs_[input];
            const ClassPair *c = byId(mxGetClassID(a));
            v.cls = c ? c->cls : ElementClass::unknown;
            v.typeName = c ? c->name : "unknown";
            v.complex = mxIsComplex(a);
            v.sparse = mxIsSparse(a);
            v.ndims = static_cast<size_t>(mxGetNumberOfDimensions(a));
            v.rows = mxGetM(a);
            v.columns = mxGetN(a);
            v.count = mxGetNumberOfElements(a);
            seen_[input] = true;
        }
        return v;
    }

    const void *data(int input) override { return mxGetData(prhs_[input]); }
    contract::Strided strided(int input) override {
        return {mxGetData(prhs_[input]), 1, static_cast<ptrdiff_t>(mxGetM(prhs_[input]))};
    }
    double firstValue(int input) const override { return mxGetScalar(prhs_[input]); }

    void *output(int slot, contract::OutputShape, size_t m, size_t n, ElementClass cls) override {
        mxArray *out = mxCreateNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), byClass(cls)->id, mxREAL);
        // The host frees arrays that were created but not returned.
        if (slot == 0 || slot < nlhs_) plhs_[slot] = out;
        return mxGetData(out);
    }

    contract::Argument argument(int input) const override { return {input + 1, module_.inputs[input].matlabName}; }

    const char *className(ElementClass cls) const override {
        const ClassPair *c = byClass(cls);
        return c ? c->name : "unknown";
    }

    const char *conversion(int, ElementClass, char *, size_t) const override { return ""; }

    [[noreturn]] void raise(const char *identifier, const char *message) override {
        mexErrMsgIdAndTxt(identifier, "%s", message);
        std::abort();  // a host error never returns
    }

    // Raises "<module>:<reason>" from the front end itself.
    [[noreturn]] void refuse(const char *reason, const char *message) {
        char id[96];
        std::snprintf(id, sizeof id, "%s:%s", module_.name, reason);
        raise(id, message);
    }

private:
    const contract::Module &module_;
    int nlhs_;
    mxArray **plhs_;
    const mxArray **prhs_;
    mutable contract::ArrayView views_[maxInputs];
    mutable bool seen_[maxInputs] = {};
};

}  // namespace

void run(const contract::Module &module, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    MexHost host(module, nlhs, plhs, prhs);
    char message[480];
    if (nrhs != module.inputCount) {
        char names[namesSize] = "";
        for (int i = 0; i < module.inputCount; ++i) {
            if (i > 0) std::strncat(names, ", ", sizeof names - std::strlen(names) - 1);
            std::strncat(names, module.inputs[i].matlabName, sizeof names - std::strlen(names) - 1);
        }
        std::snprintf(message, sizeof message, "Inputs: %d expected (%s); %d given.", module.inputCount, names, nrhs);
        host.refuse(nrhs < module.inputCount ? contract::reason::notEnoughInputs : contract::reason::tooManyInputs,
                    message);
    }
    if (nlhs > module.outputCount) {
        std::snprintf(message, sizeof message, "Outputs: at most %d; %d requested.", module.outputCount, nlhs);
        host.refuse(contract::reason::tooManyOutputs, message);
    }
    contract::Call call(module, host);
    module.run(call);
}

}  // namespace mexHost
