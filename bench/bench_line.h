// Pieces the line benchmarks share: clocks, the library's port opened on a
// pseudo-terminal whose far side the benchmark plays, and latency figures.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/state.h"
#include "link/link.h"
#include "link/serial.h"
#include "support/raw_pty.h"

namespace bench {

inline double clock_s(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Opens COM1 of the library on a fresh pseudo-terminal as gcopen does, but
// without its handshake, and marks the link open. The benchmark plays the
// controller on master.
inline bool open_port_on_pty(int &master, int &slave) {
    char name[256] = {};
    if (!testsupport::open_raw_pty(master, slave, name)) {
        std::perror("openpty");
        return false;
    }
    setenv("GONIOCTL_COM1", name, 1);
    int32_t st = 0;
    gonioctl::gcsetport(1, st);
    gonioctl::COMOPEN(st);
    if (st != 0) {
        std::fprintf(stderr, "open failed: %d\n", st);
        return false;
    }
    gonioctl::COMSETUP(9600, 8, "N", 1, 1.0f, "X", 1, st);
    gonioctl::g_state.link_open = 1;
    return true;
}

// Prints p50, p99 and the maximum of latencies in microseconds; false when
// there are none.
inline bool print_latency(const char *what, const char *unit, std::vector<double> &lat,
                          int failures) {
    if (lat.empty()) {
        std::printf("%s: no %s completed\n", what, unit);
        return false;
    }
    std::sort(lat.begin(), lat.end());
    auto pct = [&](double p) {
        return lat[static_cast<size_t>(p * static_cast<double>(lat.size() - 1))];
    };
    std::printf(
        "%s over %zu %ss (%d failed): p50 %.1f us, p99 %.1f us, max %.1f us "
        "(target p99 < 1000 us)\n",
        what, lat.size(), unit, failures, pct(0.50), pct(0.99), lat.back());
    return true;
}

}  // namespace bench
