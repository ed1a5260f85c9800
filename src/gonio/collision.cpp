// Collision and software-limit check of a requested angle set.
//
// Every angle is known only modulo 360 degrees. A limit pair low/high allows
// the arc from low upwards to high; the excluded rest of the circle is split
// at its middle, so an angle in the half next to high counts as a positive
// violation and one in the half next to low as a negative one.
#include "gonio/collision.h"

#include <cmath>
#include <cstdint>

#include "core/errors.h"
#include "core/state.h"
#include "gonio/angles.h"
#include "gonio/limits.h"
#include "gonioctl.h"

namespace gonioctl {

namespace {

// Reduction into [0, 360) in double precision, for the arc geometry.
double mod360(double x) {
    double r = std::fmod(x, 360.0);
    if (r < 0.0) r += 360.0;
    return r;
}

// Signed form of an angle: into [-180, 180).
float signed_angle(float x) {
    return ANGLE_MOD(x - 180.0f, 360.0f) - 180.0f;
}

}  // namespace

int32_t ARC_SIDE(float x, float low, float high) {
    // An unknown target or an unknown arc is never allowed: a non-finite high
    // bound (or target) counts as beyond high, a non-finite low bound as
    // beyond low.
    if (!std::isfinite(x) || !std::isfinite(high)) return 1;
    if (!std::isfinite(low)) return -1;

    // Bounds that coincide modulo 360 do not restrict the circle.
    if (std::fabs(ANGLE_MOD(low, 360.0f) - ANGLE_MOD(high, 360.0f)) < 0.0001f) return 0;

    // Bring the pair to L <= H <= L + 360: H moves up by the least number of
    // turns that puts it at or above L, then L moves up by the least number of
    // turns that leaves at most one turn between them. Computed in closed form
    // so that bounds of any magnitude take the same few steps.
    double L = low;
    double H = high;
    if (L > H) {
        H += 360.0 * std::ceil((L - H) / 360.0);
        if (H < L) H += 360.0;  // rounding of the quotient
    }
    if (H - L > 360.0) {
        L += 360.0 * std::ceil((H - L - 360.0) / 360.0);
        if (H - L > 360.0) L += 360.0;
    }

    const double c = mod360((L + H) * 0.5 + 180.0);  // middle of the excluded arc
    const double xr = mod360(static_cast<double>(x) - c);
    const double Lr = mod360(L - c);
    const double Hr = mod360(H - c);

    int32_t side = 0;
    if (xr - Lr < 0.0) side = -1;
    if (xr - Hr > 0.0) side = 1;
    return side;
}

void gcchklimits(const float angles[4], int32_t selector, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;

    const LimitsBlock &b = g_limits;
    const float a0 = angles[0], a1 = angles[1], a2 = angles[2], a3 = angles[3];
    const int32_t type = g_state.gonio_type;

    // Each failing test overwrites ier: the last failure in the order
    // 2-theta, omega, coupled, chi, phi is the one reported.
    if (selector == 0) {
        int32_t r = ARC_SIDE(a0, b.tth_low, b.tth_high);
        if (r > 0) ier = GCERR(24);
        if (r < 0) ier = GCERR(25);
        r = ARC_SIDE(a1, b.omega_low, b.omega_high);
        if (r > 0) ier = GCERR(1);
        if (r < 0) ier = GCERR(2);
        const float d = signed_angle(a1) - signed_angle(a0);
        if (ARC_SIDE(d, b.coupled_low, b.coupled_high) != 0) ier = GCERR(3);
    } else {
        // Written as "not inside" so that a non-finite angle or bound fails.
        if (!(signed_angle(a0) < signed_angle(b.omega_high))) ier = GCERR(2);
        if (!(signed_angle(a1) > signed_angle(b.omega_low))) ier = GCERR(1);
        if (!(signed_angle(a1) - signed_angle(a0) < b.coupled_high)) ier = GCERR(3);
    }
    if (type == 3 && ARC_SIDE(a3, b.chi_low, b.chi_high) != 0) ier = GCERR(4);
    if (ARC_SIDE(a2, b.phi_low, b.phi_high) != 0) ier = GCERR(5);
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcchklimits(const float *angles, int32_t selector, int32_t *ier) {
    int32_t status = 0;
    if (angles == nullptr) {
        status = gonioctl::kInvalidArgument;
    } else {
        gonioctl::gcchklimits(angles, selector, status);
    }
    if (ier != nullptr) *ier = status;
    return 0;
}

}  // extern "C"
