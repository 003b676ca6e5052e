// The MEX front end: a module's contract called through mexFunction. Inputs
// are mxArray handles seen through the contract's view; a refused call leaves
// through mexErrMsgIdAndTxt; outputs are host arrays stored in their slots.
#pragma once

#include "contract/call.h"
#include "mxApi.h"

namespace mexHost {

// Checks the numbers of inputs and outputs, then runs the module's contract.
void run(const contract::Module &module, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

}  // namespace mexHost
