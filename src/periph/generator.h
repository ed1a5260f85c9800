// X-ray generator, reached through the goniometer controller.
#pragma once

#include <cstdint>

namespace gonioctl {

// Time-out for each generator reply, seconds.
inline constexpr float kGeneratorTimeout = 15.0f;

void gcset_generator(float voltage, float current, int32_t &ier);
void gcget_generator(float &voltage, float &current, int32_t &ier);

// Code of the last refusal read from the generator (0 before any).
int32_t generator_code();

}  // namespace gonioctl
