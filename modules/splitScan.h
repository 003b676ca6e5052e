// splitScan's inputs and outputs as each host names them; its contract
// (splitScan.cpp) and the front ends read this one table.
#pragma once

#include <iterator>

#include "contract/call.h"

namespace modules::splitScanSlots {

enum Input { featuresIn, labelsIn, weightsIn, sortedOrderIn, classCountIn, unusedIn, classWeightsIn, inputCount };
inline constexpr contract::Input inputs[] = {
    {"X", "X"},     {"labels", "labels"}, {"weights", "weights"},           {"sortedOrder", "sorted_order"},
    {"K", "n_classes"}, {"unused", nullptr}, {"classWeights", "class_weights"},
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

}  // namespace modules::splitScanSlots
