// Software limits: the limits block, its read-out and the limit commands.
#include "gonio/limits.h"

#include <cstdint>

#include "core/format.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"
#include "link/framing.h"

namespace gonioctl {

constinit LimitsBlock g_limits{};

namespace {

// Range shown for an unrestricted circle, in the order 2-theta, omega, phi, chi.
constexpr float kFullLow[4] = {-360.0f, -360.0f, -360.0f, -360.0f};
constexpr float kFullHigh[4] = {360.0f, 360.0f, 360.0f, 360.0f};

constinit char g_limit_command[40] = {};

// Sends one limit command; the controller answers nothing, and a failed
// transmission is not worth stopping the others for.
void send_limit_command() {
    int32_t status = 0;
    GCPUT1(g_limit_command, length_of(g_limit_command), status);
}

}  // namespace

void gcgetlimits(float low[5], float high[5]) {
    const LimitsBlock &b = g_limits;
    const float lo[5] = {b.tth_low, b.omega_low, b.phi_low, b.chi_low, b.coupled_low};
    const float hi[5] = {b.tth_high, b.omega_high, b.phi_high, b.chi_high, b.coupled_high};
    for (int k = 0; k < 5; ++k) {
        low[k] = lo[k];
        high[k] = hi[k];
    }
}

void gcsetlimits(const float low[5], const float high[5]) {
    LimitsBlock &b = g_limits;
    b.tth_low = low[0];
    b.tth_high = high[0];
    b.omega_low = low[1];
    b.omega_high = high[1];
    b.phi_low = low[2];
    b.phi_high = high[2];
    b.chi_low = low[3];
    b.chi_high = high[3];
    b.coupled_low = low[4];
    b.coupled_high = high[4];

    const int32_t n = circles_in_use(g_state);
    for (int32_t axis = 1; axis <= n; ++axis) {
        FieldWriter w(g_limit_command, length_of(g_limit_command));
        w.lit("B").i(axis, 1).lit(",").f(low[axis - 1], 8, 3).f(high[axis - 1], 8, 3).chr('\r');
        send_limit_command();
    }
    FieldWriter w(g_limit_command, length_of(g_limit_command));
    w.lit("L ").f(low[4], 8, 3).f(high[4], 8, 3).chr('\r');
    send_limit_command();
}

void gcgetfulllimits(float low[5], float high[5]) {
    gcgetlimits(low, high);
    for (int k = 0; k < 4; ++k) {
        if (low[k] == 0.0f && high[k] == 0.0f) {
            low[k] = kFullLow[k];
            high[k] = kFullHigh[k];
        }
    }
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcgetlimits(float *low, float *high) {
    float scratch_low[5], scratch_high[5];
    gonioctl::gcgetlimits(low != nullptr ? low : scratch_low,
                          high != nullptr ? high : scratch_high);
    return 0;
}

// Both arrays are required: without them nothing is stored or sent.
GC_API int32_t gcsetlimits(const float *low, const float *high) {
    if (low == nullptr || high == nullptr) return 0;
    gonioctl::gcsetlimits(low, high);
    return 0;
}

GC_API int32_t gcgetfulllimits(float *low, float *high) {
    float scratch_low[5], scratch_high[5];
    gonioctl::gcgetfulllimits(low != nullptr ? low : scratch_low,
                              high != nullptr ? high : scratch_high);
    return 0;
}

}  // extern "C"
