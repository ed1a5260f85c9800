// Three-line error reports on standard output at trace level 1 or more.
#pragma once

#include <cstdint>

namespace gonioctl {

void ERR_REPORT(int32_t value, const char *label, int32_t labellen);
void ERR_TEXT(int32_t value, char *text, int32_t len);

}  // namespace gonioctl
