// Console lines with printer-style carriage control, unbuffered.
#pragma once

#include <cstdint>

namespace gonioctl {

void CON_LINE(const char *text, int32_t len);
int32_t CON_WRITE(const char *text, int32_t len, int32_t count);

}  // namespace gonioctl
