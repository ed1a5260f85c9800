// A fresh pseudo-terminal set up like a raw serial line, for the programs
// whose far side plays the controller (tests, benchmarks, fuzz targets).
#pragma once

#include <pty.h>
#include <termios.h>

#include <cstddef>

namespace testsupport {

// Opens a pseudo-terminal and makes its device side raw (no echo, no line
// editing, no output processing), keeping the terminal's default control
// characters (DC1 and DC3 as XON and XOFF). The device path goes to name.
// False, with nothing left open, when no terminal could be had.
inline bool open_raw_pty(int &master, int &slave, char *name) {
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    return true;
}

}  // namespace testsupport
