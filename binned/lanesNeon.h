// The NEON (arm64) lane operations of the binned scan's bounded pick
// (impurityBounds.h, boundedPick.h): two doubles per vector, a mask as a
// vector of all-ones or zero lanes. Include after <arm_neon.h> and every
// other header.
#pragma once

namespace split::binned {

struct NeonLanes {
    static constexpr int width = 2;
    static constexpr bool smallNodes = false;
    static constexpr double sideLow = 0x1p-1000, sideHigh = 0x1p1000;

    using D = float64x2_t;
    using Mask = uint64x2_t;

    static CPU_INLINE D zero() { return vdupq_n_f64(0.0); }
    static CPU_INLINE D all(double a) { return vdupq_n_f64(a); }
    static CPU_INLINE D load(const double *p) { return vld1q_f64(p); }
    static CPU_INLINE void store(double *p, D v) { vst1q_f64(p, v); }
    static CPU_INLINE D abs(D v) { return vabsq_f64(v); }
    // NaN in either lane gives NaN, which every ordered comparison rejects.
    static CPU_INLINE D min(D a, D b) { return vminq_f64(a, b); }
    static CPU_INLINE D max(D a, D b) { return vmaxq_f64(a, b); }
    static CPU_INLINE Mask less(D a, D b) { return vcltq_f64(a, b); }
    static CPU_INLINE Mask atMost(D a, D b) { return vcleq_f64(a, b); }
    static CPU_INLINE Mask atLeast(D a, D b) { return vcgeq_f64(a, b); }
    static CPU_INLINE Mask both(Mask a, Mask b) { return vandq_u64(a, b); }
    static CPU_INLINE uint32_t bits(Mask m) {
        return static_cast<uint32_t>((vgetq_lane_u64(m, 0) & 1u) | (vgetq_lane_u64(m, 1) & 2u));
    }
    static CPU_INLINE Mask fromBits(uint32_t b) {
        const uint64_t lanes[2] = {(b & 1u) ? ~uint64_t{0} : 0, (b & 2u) ? ~uint64_t{0} : 0};
        return vld1q_u64(lanes);
    }
    static CPU_INLINE D lowerTo(D reach, Mask m, D v) { return vminq_f64(reach, vbslq_f64(m, v, vdupq_n_f64(HUGE_VAL))); }
    // FRECPE's estimate (relative error below 2^-8) after one Newton step,
    // each operation rounded on its own: below 2^-15.
    static CPU_INLINE D reciprocal(D x) {
        const D r = vrecpeq_f64(x);
        return vmulq_f64(r, vsubq_f64(vdupq_n_f64(2.0), vmulq_f64(x, r)));
    }
    static CPU_INLINE double lowest(D v) { return vminvq_f64(v); }
};

}  // namespace split::binned
