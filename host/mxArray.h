// The stand-in host's array object and the calls that only a host makes
// (creating arbitrary arrays, destroying them, tracking what a call created).
#pragma once

#include <cstddef>
#include <cstdint>

#define USE_BUNDLED_MX_API
#include "../gateway/mxApi.h"

extern "C" {
// Any class and shape, zero-filled; complex arrays carry a zero imaginary part.
mxArray *standinCreateArray(size_t ndims, const size_t *dims, mxClassID id, mxComplexity flag);
void standinDestroyArray(mxArray *a);
void *standinImagData(const mxArray *a);
size_t standinNumberOfDimensions(const mxArray *a);
const size_t *standinDimensions(const mxArray *a);
// Serial number of the most recently created array; arrays are numbered from 1.
uint64_t standinLastSerial();
uint64_t standinSerial(const mxArray *a);
// Destroys every live array whose serial number is above `after`, except those listed.
void standinReleaseCreatedSince(uint64_t after, mxArray *const *keep, size_t keepCount);
size_t standinLiveArrays();
}
