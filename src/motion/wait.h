// Drive completion wait.
#pragma once

#include <cstdint>

namespace gonioctl {

// Reads reply records until the angle reply of a drive (or nwait readings)
// has come in; timeout limits each record and the whole wait (<= 0: none).
void gcdrscwait(int32_t nwait, int32_t &reading, float timeout, int32_t &ier);

}  // namespace gonioctl
