// Sends a multi-command text as one command line per command.
#pragma once

#include <cstdint>

namespace gonioctl {

void GCPUTS(const char *text, int32_t len, int32_t &status);

}  // namespace gonioctl
