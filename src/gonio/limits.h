// Software limits: the five limit pairs the collision check tests against.
#pragma once

#include <cstdint>

namespace gonioctl {

// Limit pairs in degrees. A circle pair of 0.0/0.0 leaves the circle
// unrestricted; the coupled pair bounds omega minus 2-theta.
struct LimitsBlock {
    float coupled_high = 58.0f;
    float coupled_low = -58.0f;
    float chi_high = 0.0f;
    float chi_low = 0.0f;
    float phi_high = 0.0f;
    float phi_low = 0.0f;
    float omega_high = 57.5f;
    float omega_low = -57.5f;
    float tth_high = 110.0f;
    float tth_low = -110.0f;
};

extern constinit LimitsBlock g_limits;

// Arrays of five values in the order 2-theta, omega, phi, chi, coupled.
void gcgetlimits(float low[5], float high[5]);
// Stores the pairs first, then sends the axis and coupled limit commands.
void gcsetlimits(const float low[5], const float high[5]);
void gcgetfulllimits(float low[5], float high[5]);

}  // namespace gonioctl
