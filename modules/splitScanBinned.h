// splitScanBinned's inputs and outputs as each host names them; its contract
// (splitScanBinned.cpp) and the front ends read this one table.
#pragma once

#include <iterator>

#include "contract/call.h"

namespace modules::splitScanBinnedSlots {

enum Input {
    binnedDataIn,
    labelsIn,
    weightsIn,
    binCountIn,
    nodeSamplesIn,
    candidateFeaturesIn,
    classCountIn,
    unusedIn,
    classWeightsIn,
    threadLimitIn,
    inputCount
};
inline constexpr contract::Input inputs[] = {
    {"binnedData", "binned"},
    {"labels", "labels"},
    {"weights", "weights"},
    {"B", "n_bins"},
    {"nodeSamples", "node_samples"},
    {"candidateFeatures", "features"},
    {"K", "n_classes"},
    {"unused", nullptr},
    {"classWeights", "class_weights"},
    {"threadLimit", "threads", true},
};
enum Output { impurityOut, thresholdOut, gainOut, outputCount };
inline constexpr const char *outputs[] = {"impurity", "threshold", "gain"};

// Every reason the contract may refuse a call with, through the checks it calls.
inline constexpr const char *reasons[] = {
    contract::reason::wrongClass, contract::reason::notReal, contract::reason::notMatrix,
    contract::reason::tooLarge, contract::reason::wrongSize, contract::reason::notScalar,
    contract::reason::badValue, contract::reason::labelOutOfRange, contract::reason::indexOutOfRange,
    contract::reason::outOfMemory};
inline constexpr int reasonCount = static_cast<int>(std::size(reasons));

static_assert(std::size(inputs) == inputCount && std::size(outputs) == outputCount, "one entry per slot");

}  // namespace modules::splitScanBinnedSlots
