// Controller reset: BEL (hard) or ACK (soft).
#pragma once

#include <cstdint>

namespace gonioctl {

void gcreset(int32_t &ier);
void gcsoftreset(int32_t &ier);

}  // namespace gonioctl
