#include "thin.h"

namespace crest {

namespace {

// The passes over pixel (i, j) at thinnedMap[i * rowStep + j * columnStep].
void attenuateBands(float *thinnedMap, int32_t h, int32_t w, int32_t b, int64_t rowStep, int64_t columnStep) {
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
    // Constant steps let the column-major passes run over contiguous columns.
    if (rowMajor)
        attenuateBands(thinnedMap, h, w, b, w, 1);
    else
        attenuateBands(thinnedMap, h, w, b, 1, h);
}

}  // namespace crest
