// Shutter and attenuator.
#pragma once

#include <cstdint>

namespace gonioctl {

void gcshutter(int32_t mode, int32_t &ier);

}  // namespace gonioctl
