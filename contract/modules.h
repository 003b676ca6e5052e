// The modules' contracts (modules/<name>.cpp) and their inputs and outputs
// (modules/<name>.h), for the hosts' front ends.
#pragma once

#include <algorithm>

#include "call.h"
#include "modules/crestThin.h"
#include "modules/splitScan.h"
#include "modules/splitScanBinned.h"

namespace modules {

extern const contract::Module crestThin;
extern const contract::Module splitScan;
extern const contract::Module splitScanBinned;

// The most inputs and outputs of any module: what a host's fixed tables hold.
inline constexpr int mostInputs = std::max({int{crestThinSlots::inputCount}, int{splitScanSlots::inputCount},
                                            int{splitScanBinnedSlots::inputCount}});
inline constexpr int mostOutputs = std::max({int{crestThinSlots::outputCount}, int{splitScanSlots::outputCount},
                                             int{splitScanBinnedSlots::outputCount}});

}  // namespace modules
