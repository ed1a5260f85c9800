// Collision and software-limit check of a requested angle set.
#pragma once

#include <cstdint>

namespace gonioctl {

// 0 on the allowed arc low..high (or no restriction), +1 / -1 the half next to high / low.
int32_t ARC_SIDE(float x, float low, float high);
void gcchklimits(const float angles[4], int32_t selector, int32_t &ier);

}  // namespace gonioctl
