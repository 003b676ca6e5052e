// Tells the host which release and which array interface (64-bit dimensions)
// the module was built for. MATLAB's own mex adds this record itself, so the
// prompt build script leaves this file out there.
#include <cstdint>

#include "mxApi.h"

MEX_ENTRY void mexfilerequiredapiversion(uint32_t *release, uint32_t *arrayInterface) {
    *release = 0x0002018B;
    *arrayInterface = 0x07300000;
}
