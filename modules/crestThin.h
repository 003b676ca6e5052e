// crestThin's inputs and outputs as each host names them; its contract
// (crestThin.cpp) and the front ends read this one table.
#pragma once

#include <iterator>

#include "contract/call.h"

namespace modules::crestThinSlots {

enum Input { edgeMapIn, orientationMapIn, radiusIn, marginWidthIn, multiplierIn, threadBoundIn, inputCount };
inline constexpr contract::Input inputs[] = {
    {"edgeMap", "edge"},   {"orientationMap", "orientation"}, {"radius", "radius"},
    {"marginWidth", "margin"}, {"multiplier", "multiplier"},  {"threadBound", "threads", true},
};
enum Output { thinnedMapOut, outputCount };
inline constexpr const char *outputs[] = {"thinnedMap"};

// Every reason the contract may refuse a call with, through the checks it calls.
inline constexpr const char *reasons[] = {
    contract::reason::wrongClass, contract::reason::notReal, contract::reason::notMatrix,
    contract::reason::tooLarge, contract::reason::wrongSize, contract::reason::notScalar, contract::reason::badValue};
inline constexpr int reasonCount = static_cast<int>(std::size(reasons));

static_assert(std::size(inputs) == inputCount && std::size(outputs) == outputCount, "one entry per slot");

}  // namespace modules::crestThinSlots
