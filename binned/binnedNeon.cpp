// The NEON (arm64) version of the binned scan: the shared vector steps over
// row-layout tables (vectorSteps.h) with two-lane operations (lanesNeon.h).
// Small nodes take the occupied-bin tables of the portable version's loop.
#include "binnedVersions.h"

#if defined(CPU_BINNED_NEON)
#include <arm_neon.h>

#include <cmath>
#include <cstdint>

#include "candidateScan.h"
#include "histogramFill.h"
#include "occupiedBinsScan.h"
#include "lanesNeon.h"
#include "impurityBounds.h"
#include "boundedPick.h"
#include "smallNode.h"
#include "vectorSteps.h"

namespace split::binned {

ScanVersion neonVersion() { return RowSteps<NeonLanes>::version(); }

}  // namespace split::binned

#endif
