// The serial port: the only code that touches the serial device (POSIX
// termios). Statuses are OS error numbers in the Windows numbering that
// hosts read (see os_error()).
#pragma once

#include <cstdint>

namespace gonioctl {

void COMSELECT(int32_t index, int32_t &status);
void COMOPEN(int32_t &status);
void COMSETUP(int32_t baud, int8_t databits, const char *parity, int32_t paritylen,
              float stopbits, const char *flow, int32_t flowlen, int32_t &status);
void COMREAD(char *buf, int32_t requested, int32_t &done, int32_t &status);
void COMWRITE(const char *buf, int32_t requested, int32_t &done, int32_t &status);
void COMQUEUE(int32_t &count, int32_t &dataflag);
void COMCLOSE(int32_t &status);
void GCSLEEP(float seconds);

// Translates an errno value into the OS error number reported to hosts.
int32_t os_error(int err);

}  // namespace gonioctl
