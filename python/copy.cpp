#include "copy.h"

#include <cstring>

namespace copy {

namespace {

struct Pair {
    uint64_t a, b;
};

// Tiles of 8 rows by 64 columns: a row-major image's rows are often a power
// of two bytes apart, so the lines of a taller tile would share a handful of
// cache sets and evict each other (measured on 1024 x 1024 floats: 64 x 64
// tiles 5.9 ms, 8 x 64 tiles 0.7 ms).
constexpr intptr_t tileRows = 8, tileColumns = 64;

template <typename T>
void matrix(const unsigned char *from, intptr_t rows, intptr_t columns, intptr_t rowStride, intptr_t columnStride,
            T *to) {
    for (intptr_t i0 = 0; i0 < rows; i0 += tileRows)
        for (intptr_t j0 = 0; j0 < columns; j0 += tileColumns) {
            const intptr_t iEnd = i0 + tileRows < rows ? i0 + tileRows : rows;
            const intptr_t jEnd = j0 + tileColumns < columns ? j0 + tileColumns : columns;
            for (intptr_t j = j0; j < jEnd; ++j) {
                const unsigned char *column = from + j * columnStride;
                T *out = to + j * rows;
                for (intptr_t i = i0; i < iEnd; ++i) std::memcpy(&out[i], column + i * rowStride, sizeof(T));
            }
        }
}

template <typename T>
void copyAs(const Strided &f, unsigned char *to) {
    T *out = reinterpret_cast<T *>(to);
    if (f.ndims == 0) {
        std::memcpy(out, f.data, sizeof(T));
        return;
    }
    if (f.ndims <= 2) {
        matrix(f.data, f.shape[0], f.ndims == 2 ? f.shape[1] : 1, f.strides[0], f.ndims == 2 ? f.strides[1] : 0, out);
        return;
    }
    // More dimensions: an odometer over every index after the first.
    intptr_t count = 1;
    for (int k = 0; k < f.ndims; ++k) count *= f.shape[k];
    if (count == 0) return;
    intptr_t index[64] = {};  // numpy arrays have at most 64 dimensions
    const unsigned char *column = f.data;
    for (intptr_t written = 0; written < count; written += f.shape[0]) {
        for (intptr_t i = 0; i < f.shape[0]; ++i) std::memcpy(out++, column + i * f.strides[0], sizeof(T));
        for (int k = 1; k < f.ndims; ++k) {
            column += f.strides[k];
            if (++index[k] < f.shape[k]) break;
            column -= f.strides[k] * f.shape[k];
            index[k] = 0;
        }
    }
}

}  // namespace

void toColumnMajor(const Strided &from, unsigned char *to) {
    switch (from.itemSize) {
    case 1: return copyAs<uint8_t>(from, to);
    case 2: return copyAs<uint16_t>(from, to);
    case 4: return copyAs<uint32_t>(from, to);
    case 8: return copyAs<uint64_t>(from, to);
    default: return copyAs<Pair>(from, to);
    }
}

}  // namespace copy
