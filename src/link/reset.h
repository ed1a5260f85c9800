// Controller reset: BEL (hard) or ACK (soft).
#pragma once

#include <cstdint>

namespace gonioctl {

void gcreset(int32_t &ier);
void gcsoftreset(int32_t &ier);

// Seconds each reset attempt waits for the controller to answer (5 s).
// Only tests change it, to try the no-answer case without the full wait.
extern constinit float g_reset_answer_timeout;

}  // namespace gonioctl
