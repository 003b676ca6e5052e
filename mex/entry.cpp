// The exported entry of one MEX module: MEX_MODULE names the contract it
// serves (modules/<name>.cpp), set per module by the build.
#include "contract/modules.h"
#include "mexHost.h"

#ifndef MEX_MODULE
#error "MEX_MODULE names the module this entry serves"
#endif

MEX_ENTRY void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    mexHost::run(modules::MEX_MODULE, nlhs, plhs, nrhs, prhs);
}
