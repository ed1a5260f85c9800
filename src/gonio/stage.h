// Detector-distance stage (controller axis 5).
#pragma once

#include <cstdint>

namespace gonioctl {

// 1 when VESK$STAGE (or VESK_STAGE) declares a motorized stage; decided once.
int32_t stage_is_motorized();

}  // namespace gonioctl
