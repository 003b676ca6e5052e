// The calls crestThin refuses, with the identifier and a part of the message
// each must raise: checked through the stand-in host by the module tests, and
// recorded for the platform check of the other platforms' builds.
#pragma once

#include <string>
#include <vector>

#include "host/loader.h"

namespace crestThinBadCalls {

struct BadCall {
    const char *name;
    int nlhs;
    int nrhs;
    int replaced;  // input slot given an array of `cls`, `dims`, `complexity` (and `value`), or -1
    mxClassID cls;
    std::vector<size_t> dims;
    mxComplexity complexity;
    const char *id;
    const char *messagePart;
    double value = 0;
};

inline const BadCall cases[] = {
    {"five inputs", 1, 5, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:notEnoughInputs", "5 given"},
    {"no inputs", 1, 0, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:notEnoughInputs", "0 given"},
    {"seven inputs", 1, 7, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:tooManyInputs", "7 given"},
    {"two outputs", 2, 6, -1, mxDOUBLE_CLASS, {}, mxREAL, "crestThin:tooManyOutputs", "2 requested"},
    {"double edge map", 1, 6, 0, mxDOUBLE_CLASS, {4, 4}, mxREAL, "crestThin:wrongClass", "Argument 1 (edgeMap)"},
    {"complex edge map", 1, 6, 0, mxSINGLE_CLASS, {4, 4}, mxCOMPLEX, "crestThin:notReal", "Argument 1 (edgeMap)"},
    {"3-D edge map", 1, 6, 0, mxSINGLE_CLASS, {4, 2, 2}, mxREAL, "crestThin:notMatrix", "3 dimensions"},
    {"double orientation map", 1, 6, 1, mxDOUBLE_CLASS, {4, 4}, mxREAL, "crestThin:wrongClass",
     "Argument 2 (orientationMap)"},
    {"short orientation map", 1, 6, 1, mxSINGLE_CLASS, {3, 5}, mxREAL, "crestThin:wrongSize", "at least 16 elements"},
    {"char radius", 1, 6, 2, mxCHAR_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 3 (radius)"},
    {"radius above the limit", 1, 6, 2, mxDOUBLE_CLASS, {1, 1}, mxREAL, "crestThin:badValue",
     "Argument 3 (radius) must be at most 65536 steps; it is 65537.", 65537},
    {"empty marginWidth", 1, 6, 3, mxDOUBLE_CLASS, {0, 0}, mxREAL, "crestThin:notScalar",
     "Argument 4 (marginWidth) must be a numeric or logical scalar; it is empty"},
    {"cell multiplier", 1, 6, 4, mxCELL_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 5 (multiplier)"},
    {"struct threadBound", 1, 6, 5, mxSTRUCT_CLASS, {1, 1}, mxREAL, "crestThin:notScalar", "Argument 6 (threadBound)"},
};

// The inputs of the call on 4 x 4 maps and scalars 1, with the case's change.
inline std::vector<host::Array> inputs(const BadCall &c) {
    std::vector<host::Array> in;
    in.push_back(host::makeArray(mxSINGLE_CLASS, {4, 4}));
    in.push_back(host::makeArray(mxSINGLE_CLASS, {4, 4}));
    while (in.size() < 7) in.push_back(host::makeScalar(1));
    if (c.replaced >= 0) {
        in[c.replaced] = host::makeArray(c.cls, c.dims, c.complexity);
        if (c.cls == mxDOUBLE_CLASS && mxGetNumberOfElements(in[c.replaced].get()) > 0)
            static_cast<double *>(mxGetData(in[c.replaced].get()))[0] = c.value;
    }
    in.resize(c.nrhs);
    return in;
}

inline host::CallResult call(const host::Module &module, const BadCall &c) { return module.call(c.nlhs, inputs(c)); }

}  // namespace crestThinBadCalls
