// The serial port: the only code that touches the serial device (POSIX
// termios). Statuses are OS error numbers in the Windows numbering that
// hosts read (see os_error()).
#pragma once

#include <cstdint>

namespace gonioctl {

void COMSELECT(int32_t index, int32_t &status);
void COMOPEN(int32_t &status);
void COMSETUP(int32_t baud, int8_t databits, const char *parity, int32_t paritylen, float stopbits,
              const char *flow, int32_t flowlen, int32_t &status);
void COMREAD(char *buf, int32_t requested, int32_t &done, int32_t &status);
void COMWRITE(const char *buf, int32_t requested, int32_t &done, int32_t &status);
void COMQUEUE(int32_t &count, int32_t &dataflag);
void COMCLOSE(int32_t &status);
void GCSLEEP(float seconds);

// Waits up to ms milliseconds (0..1000) for received bytes. Returns 0 when
// bytes arrived or the time passed, or the OS error number when the device
// has gone away (hang-up, device error) or is not open.
int32_t COMWAIT(int32_t ms);

// Translates an errno value into the OS error number reported to hosts.
int32_t os_error(int err);

// How long one COMWRITE waits for a byte held back by the controller's XOFF
// before it reports a failure (seconds). Lowered by tests only.
extern constinit float g_write_hold_seconds;

}  // namespace gonioctl
