// The AVX2 version of the binned scan: the shared vector steps
// (vectorSteps.h, laneSteps.h) with four-lane operations (lanesAvx2.h).
// With K <= 3 the tables hold a bin's histograms in four lanes, above that in
// rows. Built with function attributes, so the rest of the module stays
// plain x86-64.
#include "binnedVersions.h"

#if defined(CPU_WIDE_SIMD)
#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "candidateScan.h"
#include "doublePair.h"
#include "histogramFill.h"
#include "occupiedBinsScan.h"

CPU_AVX2_FUNCTIONS
#include "lanesAvx2.h"
#include "impurityBounds.h"
#include "boundedPick.h"
#include "smallNode.h"
#include "vectorSteps.h"
#include "laneSteps.h"

namespace split::binned {

ScanVersion avx2Version(int32_t K) {
    return K <= laneClasses ? LaneSteps<Avx2Lanes>::version() : RowSteps<Avx2Lanes>::version();
}

}  // namespace split::binned
CPU_END_FUNCTIONS

#endif
