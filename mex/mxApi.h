// The slice of the MX/MEX interface that the modules use.
//
// Built by the host's own tools (MATLAB's or Octave's mex) the host's mex.h is
// used. With USE_BUNDLED_MX_API the declarations below stand in for it; they
// follow the host's documented signatures and link names, so a module built
// either way binds to the same symbols. MX_COMPAT_32 selects the interface with
// 32-bit dimensions (link names *_700), otherwise the 64-bit one (*_730).
#pragma once

#include "common/cpu.h"

#ifdef USE_BUNDLED_MX_API

#include <cstddef>

extern "C" {

typedef struct mxArray_tag mxArray;

#ifdef MX_COMPAT_32
typedef int mwSize;
#else
typedef size_t mwSize;
#endif

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

#ifdef MX_COMPAT_32
#define mxCreateNumericMatrix mxCreateNumericMatrix_700
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_700
#else
#define mxCreateNumericMatrix mxCreateNumericMatrix_730
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_730
#endif

void *mxGetData(const mxArray *pa);
double mxGetScalar(const mxArray *pa);
size_t mxGetM(const mxArray *pa);
size_t mxGetN(const mxArray *pa);
size_t mxGetNumberOfElements(const mxArray *pa);
mwSize mxGetNumberOfDimensions(const mxArray *pa);
mxClassID mxGetClassID(const mxArray *pa);
bool mxIsComplex(const mxArray *pa);
bool mxIsSparse(const mxArray *pa);
mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag);

void mexErrMsgIdAndTxt(const char *errorid, const char *errormsg, ...);

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);
}

#else
#include "mex.h"
#endif

// Marks the symbols a module exports: the entry point (and the API-version
// record). Everything else is hidden and, through the export map, local.
#define MEX_ENTRY extern "C" CPU_VISIBLE
