#include "thin.h"

namespace crest {

void attenuateMargin(float *thinnedMap, int32_t h, int32_t w, int32_t marginWidth) {
    int32_t b = marginWidth;
    if (b > w / 2) b = w / 2;
    if (b > h / 2) b = h / 2;
    if (b <= 0) return;

    // Column bands: whole columns k and w-1-k, contiguous in memory.
    for (int32_t k = 0; k < b; ++k) {
        const float factor = static_cast<float>(k) / static_cast<float>(b);
        float *left = thinnedMap + static_cast<int64_t>(h) * k;
        float *right = thinnedMap + static_cast<int64_t>(h) * (w - 1 - k);
        for (int32_t y = 0; y < h; ++y) {
            left[y] = left[y] * factor;
            right[y] = right[y] * factor;
        }
    }
    // Row bands: the first and last b elements of every column. Corners get
    // the column factor first, then the row factor.
    for (int32_t x = 0; x < w; ++x) {
        float *column = thinnedMap + static_cast<int64_t>(h) * x;
        for (int32_t k = 0; k < b; ++k) {
            const float factor = static_cast<float>(k) / static_cast<float>(b);
            column[k] = column[k] * factor;
            column[h - 1 - k] = column[h - 1 - k] * factor;
        }
    }
}

}  // namespace crest
