// The serial port on POSIX termios.
//
// Port names "COM1:" to "COM4:" map to a device path: the value of the
// environment variable GONIOCTL_COM1 .. GONIOCTL_COM4 when it is set and not
// blank (read afresh at every open), otherwise /dev/ttyS0 .. /dev/ttyS3.
//
// The device is opened non-blocking and held exclusively: an exclusive
// flock (which also stops a second opener running as root) and TIOCEXCL (which
// stops other openers of the tty that do not lock). Reads are only issued
// for bytes already waiting, so they never block; writes are synchronous,
// waiting while the controller holds the line with XOFF, up to a bound.
//
// Errors are reported as the OS error numbers hosts know from the serial
// API of the other platform (os_error()).
#include "link/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/state.h"
#include "core/trace.h"

namespace gonioctl {

constinit float g_write_hold_seconds = 10.0f;

namespace {

// Set when a write gave up because the line stayed held; the next writes
// then try once without waiting, so a controller that never sends XON costs
// one hold period per command, not one per byte. Cleared by any write that
// goes through, and at open.
constinit bool g_write_stalled = false;

constexpr int32_t kErrFileNotFound = 2;
constexpr int32_t kErrAccessDenied = 5;
constexpr int32_t kErrInvalidHandle = 6;
constexpr int32_t kErrInvalidFunction = 1;
constexpr int32_t kErrGenFailure = 31;

double monotonic_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Fills path with the device of the selected port. Returns 0, or the OS
// error number when the configured path does not fit.
int32_t device_path(char *path, size_t cap) {
    char digit = g_link.port_name[3];
    if (digit < '1' || digit > '4') digit = '1';
    char var[] = "GONIOCTL_COM1";
    var[sizeof(var) - 2] = digit;
    const char *value = std::getenv(var);
    if (value != nullptr) {
        while (*value != '\0' && is_space(*value)) ++value;
        size_t n = std::strlen(value);
        while (n > 0 && is_space(value[n - 1])) --n;
        if (n > 0) {
            if (n >= cap) return os_error(ENAMETOOLONG);
            std::memcpy(path, value, n);
            path[n] = '\0';
            return 0;
        }
    }
    char dflt[] = "/dev/ttyS0";
    dflt[sizeof(dflt) - 2] = static_cast<char>(digit - 1);
    std::memcpy(path, dflt, sizeof(dflt));
    return 0;
}

speed_t baud_constant(int32_t baud, bool &ok) {
    ok = true;
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            ok = false;
            return B9600;
    }
}

// Common start of a read or a write: nothing done yet, status 0; false when
// there is nothing to transfer, or no open port (status: bad handle).
bool start_transfer(int32_t requested, int32_t &done, int32_t &status) {
    done = 0;
    status = 0;
    if (requested <= 0) return false;
    if (g_link.fd < 0) {
        status = os_error(EBADF);
        return false;
    }
    return true;
}

}  // namespace

int32_t os_error(int err) {
    switch (err) {
        case 0:
            return 0;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kErrFileNotFound;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            return kErrAccessDenied;
        case EBADF:
            return kErrInvalidHandle;
        case ENOTTY:
            return kErrInvalidFunction;
        case EIO:
            return kErrGenFailure;
        default:
            return kErrGenFailure;
    }
}

void COMSELECT(int32_t index, int32_t &status) {
    status = 0;
    if (index < 0 || index > 3) {
        status = -1;
        return;
    }
    std::memcpy(g_link.port_name, "COM1:", 6);
    g_link.port_name[3] = static_cast<char>('1' + index);
}

void COMOPEN(int32_t &status) {
    status = 0;
    g_link.fd = -1;
    g_write_stalled = false;

    char path[4096];
    status = device_path(path, sizeof(path));
    if (status != 0) return;

    // Non-blocking, so that neither the open nor a read can wait on the
    // modem lines; the controller terminal never becomes ours.
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        int err = errno;
        status = os_error(err);
        if (tracing(3)) TraceLine("COMOPEN errno") << static_cast<int32_t>(err);
        return;
    }
    // The lock is taken before anything touches the line, so a second
    // opener (this process or another, root included) is turned away
    // without disturbing the holder's settings.
    int err = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno;
    } else if (::ioctl(fd, TIOCEXCL) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::close(fd);
        status = os_error(err);
        if (tracing(3)) TraceLine("COMOPEN errno") << static_cast<int32_t>(err);
        return;
    }
    // The driver's queues are sized by the kernel; termios has no call for
    // sizing them, and its buffers hold far more than any reply.
    g_link.fd = fd;
}

void COMSETUP(int32_t baud, int8_t databits, const char *parity, int32_t paritylen, float stopbits,
              const char *flow, int32_t flowlen, int32_t &status) {
    status = 0;
    termios tio{};
    if (g_link.fd < 0 || ::tcgetattr(g_link.fd, &tio) != 0) return;

    bool baud_ok = false;
    speed_t speed = baud_constant(baud, baud_ok);
    tcflag_t size = 0;
    switch (databits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            baud_ok = false;
            break;
    }
    if (!baud_ok) {
        // A rate or byte size the line cannot take: refused as an invalid
        // parameter, the line stays as it was.
        status = 87;
        return;
    }

    // Raw, transparent line: no echo, no line editing, no signals, no CR/NL
    // translation either way, no output processing, receiver on, modem
    // lines ignored. Reads never wait (the descriptor is non-blocking).
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXANY | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;

    // Parity by its first character; any other leaves the line's parity.
    char p = (parity != nullptr && paritylen > 0) ? parity[0] : ' ';
    const tcflag_t parity_bits = PARENB | PARODD | CMSPAR;
    switch (p) {
        case 'N':
            tio.c_cflag &= ~parity_bits;
            tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
            break;
        case 'O':
            tio.c_cflag = (tio.c_cflag & ~parity_bits) | PARENB | PARODD;
            break;
        case 'E':
            tio.c_cflag = (tio.c_cflag & ~parity_bits) | PARENB;
            break;
        case 'M':
            tio.c_cflag = (tio.c_cflag & ~parity_bits) | PARENB | PARODD | CMSPAR;
            break;
        case 'S':
            tio.c_cflag = (tio.c_cflag & ~parity_bits) | PARENB | CMSPAR;
            break;
        default:
            break;
    }

    // Stop bits: one, or two; one and a half is the two-stop-bit setting
    // (which UARTs send as one and a half with 5-bit bytes). Any other
    // value leaves the line's setting.
    if (stopbits == 1.0f) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    } else if (stopbits == 1.5f || stopbits == 2.0f) {
        tio.c_cflag |= CSTOPB;
    }

    // Flow control by its first character, only ever adding flags:
    //  X  software flow control both ways (IXON and IXOFF);
    //  C  output held by CTS: termios has only the combined RTS/CTS
    //     handshake (CRTSCTS);
    //  H  DTR input handshake: termios has no DTR/DSR handshake; the
    //     nearest is the RTS/CTS handshake (CRTSCTS);
    //  D  output held by DSR: no termios equivalent, flags unchanged.
    char f = (flow != nullptr && flowlen > 0) ? flow[0] : ' ';
    switch (f) {
        case 'X':
            tio.c_iflag |= IXON | IXOFF;
            break;
        case 'C':
        case 'H':
            tio.c_cflag |= CRTSCTS;
            break;
        default:
            break;
    }

    if (::tcsetattr(g_link.fd, TCSANOW, &tio) != 0) {
        const int err = errno;
        status = os_error(err);
        if (tracing(3)) TraceLine("COMSETUP errno") << static_cast<int32_t>(err);
    }
}

void COMREAD(char *buf, int32_t requested, int32_t &done, int32_t &status) {
    if (!start_transfer(requested, done, status)) return;
    ssize_t n = ::read(g_link.fd, buf, static_cast<size_t>(requested));
    if (n > 0) {
        done = static_cast<int32_t>(n);
    } else if (n == 0) {
        // End of file on a terminal: the device has hung up.
        status = os_error(EIO);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        status = os_error(errno);
    }
}

void COMWRITE(const char *buf, int32_t requested, int32_t &done, int32_t &status) {
    if (!start_transfer(requested, done, status)) return;
    const double hold = g_write_stalled ? 0.0 : static_cast<double>(g_write_hold_seconds);
    const double deadline = monotonic_seconds() + hold;
    auto remaining_ms = [&]() {
        double left = deadline - monotonic_seconds();
        if (left <= 0.0) return 0;
        return static_cast<int>(left * 1000.0) + 1;
    };

    // Hand the bytes to the driver; a line held by XOFF refuses them.
    while (done < requested) {
        ssize_t n = ::write(g_link.fd, buf + done, static_cast<size_t>(requested - done));
        if (n > 0) {
            done += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            status = os_error(errno);
            return;
        }
        int ms = remaining_ms();
        if (ms == 0) {
            g_write_stalled = true;
            status = os_error(ETIMEDOUT);
            return;
        }
        pollfd pfd{g_link.fd, POLLOUT, 0};
        int r = ::poll(&pfd, 1, ms);
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            status = os_error(EIO);
            return;
        }
    }

    // Synchronous like the call hosts know: return once the driver has sent
    // the bytes. Drivers that cannot count their output queue (pseudo-
    // terminals) have nothing pending here.
    for (;;) {
        int pending = 0;
        if (::ioctl(g_link.fd, TIOCOUTQ, &pending) != 0 || pending <= 0) break;
        if (remaining_ms() == 0) {
            g_write_stalled = true;
            status = os_error(ETIMEDOUT);
            return;
        }
        timespec pause{0, 200000};  // a fifth of a byte time at 9600 baud
        ::nanosleep(&pause, nullptr);
    }
    g_write_stalled = false;
}

void COMQUEUE(int32_t &count, int32_t &dataflag) {
    count = 0;
    if (g_link.fd < 0) return;
    int n = 0;
    if (::ioctl(g_link.fd, FIONREAD, &n) != 0) return;
    count = n;
    if (count != 0) dataflag = 1;
}

int32_t COMWAIT(int32_t ms) {
    if (g_link.fd < 0) return os_error(EBADF);
    if (ms < 0) ms = 0;
    if (ms > 1000) ms = 1000;
    pollfd pfd{g_link.fd, POLLIN, 0};
    int r = ::poll(&pfd, 1, ms);
    if (r <= 0) return 0;  // time passed, or a signal: the caller looks again
    if ((pfd.revents & POLLNVAL) != 0) return os_error(EBADF);
    // Data still waiting is read first; a hang-up or device error with
    // nothing left to read means the device is gone.
    int waiting = 0;
    if (::ioctl(g_link.fd, FIONREAD, &waiting) == 0 && waiting > 0) return 0;
    if ((pfd.revents & (POLLHUP | POLLERR)) != 0) return os_error(EIO);
    // Readable yet nothing queued: let the slice pass rather than spin.
    timespec pause{0, static_cast<long>(ms) * 1000000L};
    ::nanosleep(&pause, nullptr);
    return 0;
}

void COMCLOSE(int32_t &status) {
    status = 0;
    int fd = g_link.fd;
    // The descriptor is forgotten first, so a stale number is never used
    // again, whatever the close says.
    g_link.fd = -1;
    if (fd < 0) {
        status = os_error(EBADF);
        return;
    }
    // Exclusive mode is a property of the terminal, not of the descriptor:
    // clear it so the next opener is not refused.
    ::ioctl(fd, TIOCNXCL);
    if (::close(fd) != 0 && errno != EINTR) status = os_error(errno);
}

void GCSLEEP(float seconds) {
    if (!(seconds >= 0.0f)) return;
    // Keeps the millisecond count in range; no pause of the link is longer.
    constexpr float kLongestPause = 86400.0f;
    if (seconds > kLongestPause) seconds = kLongestPause;
    auto ms = static_cast<int64_t>(static_cast<double>(seconds) * 1000.0 + 0.5);
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    timespec rem{};
    while (::nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

}  // namespace gonioctl
