// The lane operations of the NEON version (every arm64 processor), for the
// step loop of lineSteps.h and the listing of listingSteps.h: four lines per
// register, masks as lanes of all ones, packing by a byte table lookup, and
// clearing line by line.
#include "lineSampler.h"

#if defined(CPU_ARM64)
#include <arm_neon.h>

#include <cstring>
#include <limits>

#include "lineSteps.h"

namespace crest {

namespace {

// For each mask of four lanes, the bytes of the lanes it holds, in order; the
// rest 0.
struct PackingBytes {
    uint8_t bytes[16][16];
};
constexpr PackingBytes packingBytesOf() {
    PackingBytes table{};
    for (int32_t mask = 0; mask < 16; ++mask) {
        int32_t next = 0;
        for (int32_t lane = 0; lane < 4; ++lane) {
            if (((mask >> lane) & 1) == 0) continue;
            for (int32_t byte = 0; byte < 4; ++byte)
                table.bytes[mask][4 * next + byte] = static_cast<uint8_t>(4 * lane + byte);
            ++next;
        }
    }
    return table;
}
constexpr PackingBytes packingBytes = packingBytesOf();

struct NeonLanes : PackedInRegisters<NeonLanes> {
    static constexpr int32_t width = 4;
    using Floats = float32x4_t;
    using Ints = int32x4_t;
    using Mask = uint32x4_t;
    using Packing = uint8x16_t;
    static float32x4_t all(float v) { return vdupq_n_f32(v); }
    static int32x4_t allInts(int32_t v) { return vdupq_n_s32(v); }
    static float32x4_t load(const float *p) { return vld1q_f32(p); }
    static int32x4_t loadInts(const int32_t *p) { return vld1q_s32(p); }
    static void store(float *p, float32x4_t v) { vst1q_f32(p, v); }
    static void storeInts(int32_t *p, int32x4_t v) { vst1q_s32(p, v); }
    static float32x4_t add(float32x4_t a, float32x4_t b) { return vaddq_f32(a, b); }
    static float32x4_t sub(float32x4_t a, float32x4_t b) { return vsubq_f32(a, b); }
    static float32x4_t mul(float32x4_t a, float32x4_t b) { return vmulq_f32(a, b); }
    static float32x4_t toFloat(int32x4_t v) { return vcvtq_f32_s32(v); }
    static int32x4_t truncate(float32x4_t v) { return vcvtq_s32_f32(v); }
    static float32x4_t clamp(float32x4_t p, float32x4_t threshold, float32x4_t ceiling) {
        const uint32x4_t notBelow = vcgeq_f32(p, vdupq_n_f32(0.0f));
        p = vreinterpretq_f32_u32(vandq_u32(vreinterpretq_u32_f32(p), notBelow));
        return vbslq_f32(vcgtq_f32(p, threshold), ceiling, p);
    }
    static int32x4_t linearIndex(int32x4_t iy, int32x4_t ix, int32x4_t h) { return vaddq_s32(iy, vmulq_s32(ix, h)); }
    static int32x4_t linearIndexBack(int32x4_t iy, int32x4_t ix, int32x4_t h) {
        return vsubq_s32(vmulq_s32(ix, h), iy);
    }
    static void splitPairs(const float *pairs, float32x4_t &first, float32x4_t &second) {
        const float32x4x2_t split = vld2q_f32(pairs);
        first = split.val[0];
        second = split.val[1];
    }
    static int32_t keepWeaker(uint32_t *alive, float32x4_t s, float32x4_t limit) {
        const uint32x4_t stays = vbicq_u32(vld1q_u32(alive), vcgtq_f32(s, limit));
        vst1q_u32(alive, stays);
        return count(stays);
    }

    static int32x4_t laneIndex() {
        static const int32_t lanes[4] = {0, 1, 2, 3};
        return vld1q_s32(lanes);
    }
    // Pairs swapped within each half, then the halves.
    static float32x4_t reversed(float32x4_t v) {
        const float32x4_t pairsSwapped = vrev64q_f32(v);
        return vextq_f32(pairsSwapped, pairsSwapped, 2);
    }
    static uint32x4_t firstLanes(int32_t count) { return vcltq_s32(laneIndex(), vdupq_n_s32(count)); }
    static float32x4_t loadFirst(const float *p, int32_t count) {
        float lanes[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        std::memcpy(lanes, p, static_cast<size_t>(count) * sizeof(float));
        return vld1q_f32(lanes);
    }
    static void storeFirst(float *p, float32x4_t v, int32_t count) {
        float lanes[4];
        vst1q_f32(lanes, v);
        std::memcpy(p, lanes, static_cast<size_t>(count) * sizeof(float));
    }
    // No masked load: the whole register where it lies inside the column.
    static float32x4_t loadWhere(uint32x4_t, const float *p, int32_t inside) {
        return inside >= width ? vld1q_f32(p) : loadFirst(p, inside);
    }
    static uint32x4_t nonZero(float32x4_t v) { return vmvnq_u32(vceqq_f32(v, vdupq_n_f32(0.0f))); }
    static uint32x4_t finite(float32x4_t v) {
        return vcltq_f32(vabsq_f32(v), vdupq_n_f32(std::numeric_limits<float>::infinity()));
    }
    static uint32x4_t ordered(float32x4_t v) { return vceqq_f32(v, v); }
    static uint32x4_t both(uint32x4_t a, uint32x4_t b) { return vandq_u32(a, b); }
    static uint32x4_t either(uint32x4_t a, uint32x4_t b) { return vorrq_u32(a, b); }
    static bool none(uint32x4_t m) { return vmaxvq_u32(m) == 0; }
    static int32_t count(uint32x4_t m) { return static_cast<int32_t>(vaddvq_u32(vshrq_n_u32(m, 31))); }
    static int32x4_t bitsOf(float32x4_t v) { return vreinterpretq_s32_f32(v); }
    static int32x4_t addInts(int32x4_t a, int32x4_t b) { return vaddq_s32(a, b); }
    static int32x4_t subInts(int32x4_t a, int32x4_t b) { return vsubq_s32(a, b); }
    static int32x4_t andInts(int32x4_t a, int32x4_t b) { return vandq_s32(a, b); }
    static int32x4_t keepWhereNonZero(int32x4_t v, int32x4_t q) {
        return vandq_s32(v, vreinterpretq_s32_u32(vtstq_s32(q, q)));
    }
    static uint8x16_t packing(uint32x4_t m) {
        static const uint32_t laneBits[4] = {1, 2, 4, 8};
        return vld1q_u8(packingBytes.bytes[vaddvq_u32(vandq_u32(m, vld1q_u32(laneBits)))]);
    }
    static void storePacked(int32_t *p, uint8x16_t bytes, int32x4_t v) {
        vst1q_s32(p, vreinterpretq_s32_u8(vqtbl1q_u8(vreinterpretq_u8_s32(v), bytes)));
    }
    static void storePacked(float *p, uint8x16_t bytes, float32x4_t v) {
        vst1q_f32(p, vreinterpretq_f32_u8(vqtbl1q_u8(vreinterpretq_u8_f32(v), bytes)));
    }
    static uint32x4_t liveLanes(const uint32_t *alive) {
        const uint32x4_t a = vld1q_u32(alive);
        return vtstq_u32(a, a);
    }
    static void clearDead(float *thinned, const int32_t *rows, const uint32_t *alive, int32_t count) {
        clearUnlessAlive(thinned, rows, alive, count < width ? count : width);
    }
};

}  // namespace

void sampleLinesNeon(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned) {
    sampleLinesOf<NeonLanes>(map, x, radius, batch, thinned);
}

int32_t listCandidatesNeon(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                           float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c, int32_t *n,
                           bool backward) {
    return backward ? listCandidatesOf<NeonLanes, true>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                        ahead, c, n)
                    : listCandidatesOf<NeonLanes, false>(edge, thinned, orientationMap, column, multiplier, y0, h,
                                                         ahead, c, n);
}

}  // namespace crest

#endif  // CPU_ARM64
