#include "thin.h"

namespace crest {

namespace {

// The passes over pixel (i, j) at thinnedMap[i * rowStep + j * columnStep];
// a constant unit step lets a column-major map's columns run contiguously.
template <bool RowMajor>
void attenuateBands(float *thinnedMap, int32_t h, int32_t w, int32_t b) {
    const int64_t rowStep = RowMajor ? w : 1, columnStep = RowMajor ? 1 : h;
    // Column bands: whole columns k and w-1-k.
    for (int32_t k = 0; k < b; ++k) {
        const float factor = static_cast<float>(k) / static_cast<float>(b);
        float *left = thinnedMap + columnStep * k;
        float *right = thinnedMap + columnStep * (w - 1 - k);
        for (int64_t y = 0; y < h; ++y) {
            left[y * rowStep] = left[y * rowStep] * factor;
            right[y * rowStep] = right[y * rowStep] * factor;
        }
    }
    // Row bands: the first and last b pixels of every column. Corners get
    // the column factor first, then the row factor.
    for (int64_t x = 0; x < w; ++x) {
        float *column = thinnedMap + columnStep * x;
        for (int32_t k = 0; k < b; ++k) {
            const float factor = static_cast<float>(k) / static_cast<float>(b);
            const int64_t top = rowStep * k, bottom = rowStep * (h - 1 - k);
            column[top] = column[top] * factor;
            column[bottom] = column[bottom] * factor;
        }
    }
}

}  // namespace

void attenuateMargin(float *thinnedMap, int32_t h, int32_t w, int32_t marginWidth, bool rowMajor) {
    int32_t b = marginWidth;
    if (b > w / 2) b = w / 2;
    if (b > h / 2) b = h / 2;
    if (b <= 0) return;
    if (rowMajor)
        attenuateBands<true>(thinnedMap, h, w, b);
    else
        attenuateBands<false>(thinnedMap, h, w, b);
}

}  // namespace crest
