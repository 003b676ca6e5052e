// The stand-in host's array object and the calls that only a host makes
// (creating arbitrary arrays, destroying them, tracking what a call created).
#pragma once

#include <cstddef>
#include <cstdint>

#define USE_BUNDLED_MX_API
#include "mex/mxApi.h"

// The stand-in's own calls are exported from libmx through this attribute on
// Windows; the MX operations through libmx.def, under the host's link names.
#if defined(_WIN32) && defined(STANDIN_BUILDING_MX)
#define STANDIN_MX_API __declspec(dllexport)
#elif defined(_WIN32)
#define STANDIN_MX_API __declspec(dllimport)
#else
#define STANDIN_MX_API
#endif

extern "C" {
// Any class and shape, zero-filled; complex arrays carry a zero imaginary part.
STANDIN_MX_API mxArray *standinCreateArray(size_t ndims, const size_t *dims, mxClassID id, mxComplexity flag);
STANDIN_MX_API void standinDestroyArray(mxArray *a);
STANDIN_MX_API void *standinImagData(const mxArray *a);
// Flags an array as sparse, for checking that modules refuse such arrays.
STANDIN_MX_API void standinMarkSparse(mxArray *a);
STANDIN_MX_API size_t standinNumberOfDimensions(const mxArray *a);
STANDIN_MX_API const size_t *standinDimensions(const mxArray *a);
// Serial number of the most recently created array; arrays are numbered from 1.
STANDIN_MX_API uint64_t standinLastSerial();
STANDIN_MX_API uint64_t standinSerial(const mxArray *a);
// Destroys every live array whose serial number is above `after`, except those listed.
STANDIN_MX_API void standinReleaseCreatedSince(uint64_t after, mxArray *const *keep, size_t keepCount);
STANDIN_MX_API size_t standinLiveArrays();
}
