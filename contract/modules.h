// The modules' contracts (modules/<name>.cpp), for the hosts' front ends.
#pragma once

#include "call.h"

namespace modules {
extern const contract::Module crestThin;
extern const contract::Module splitScan;
extern const contract::Module splitScanBinned;
}  // namespace modules
