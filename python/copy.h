// Copies a strided array of any dimensions into column-major order (the
// first index fastest), as the kernels read it. A 2-D array goes in tiles,
// so that a row-major image is read and written a cache line at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace copy {

struct Strided {
    const unsigned char *data;  // the element at index (0, ..., 0)
    int ndims;
    const intptr_t *shape;
    const intptr_t *strides;  // in bytes, any sign
    size_t itemSize;          // 1, 2, 4, 8 or 16
};

// Writes the array's shape[0] x shape[1] x ... elements to `to`.
void toColumnMajor(const Strided &from, unsigned char *to);

}  // namespace copy
