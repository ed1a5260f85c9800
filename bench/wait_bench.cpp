// Figures of the entry points that wait on the controller, over a
// pseudo-terminal whose far side plays the controller:
//  1. CPU time over wall time while gcdrscwait waits 2 s for a controller
//     that sends nothing (a busy poll would give 1.0);
//  2. latency of gcreada, from the controller writing the last byte of its
//     angle reply to gcreada returning, p50 and p99 over 1,000 reads.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "bench_line.h"
#include "core/errors.h"
#include "core/state.h"
#include "gonioctl.h"
#include "link/serial.h"

namespace {

std::atomic<double> g_last_byte_written{0.0};
std::atomic<bool> g_answer{false};
std::atomic<bool> g_stop{false};

// Answers every command line with an angle reply while g_answer is set; the
// CR goes out on its own after a short pause, so that gcreada is already
// waiting when it arrives.
void controller(int master) {
    const char body[] = "   10.000   20.000   30.000   40.000     0     0";
    while (!g_stop) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char c = 0;
        if (read(master, &c, 1) != 1) continue;
        if (c != '\r' || !g_answer) continue;
        if (write(master, body, sizeof(body) - 1) < 0) return;
        timespec pause{0, 300000};
        nanosleep(&pause, nullptr);
        g_last_byte_written = bench::clock_s(CLOCK_MONOTONIC);
        if (write(master, "\r", 1) != 1) return;
    }
}

}  // namespace

int main() {
    int master = -1, slave = -1;
    if (!bench::open_port_on_pty(master, slave)) return 1;
    std::thread peer(controller, master);

    // 1. The idle wait, after a short one that loads the time zone and reads
    // the trace level.
    int32_t reading = 0, ier = 0;
    gcdrscwait(0, &reading, 0.05f, &ier);
    const double w0 = bench::clock_s(CLOCK_MONOTONIC),
                 c0 = bench::clock_s(CLOCK_PROCESS_CPUTIME_ID);
    gcdrscwait(0, &reading, 2.0f, &ier);
    const double wall = bench::clock_s(CLOCK_MONOTONIC) - w0;
    const double cpu = bench::clock_s(CLOCK_PROCESS_CPUTIME_ID) - c0;
    std::printf(
        "gcdrscwait idle wait: %s, wall %.3f s, cpu %.4f s, cpu/wall %.5f (target <= 0.01)\n",
        ier == gonioctl::GCERR(10) ? "time-out" : "unexpected status", wall, cpu, cpu / wall);

    // 2. Angle read latency.
    g_answer = true;
    constexpr int kReads = 1000;
    std::vector<double> lat;
    lat.reserve(kReads);
    int failures = 0;
    float angles[4];
    for (int i = 0; i < kReads; ++i) {
        gcreada(angles, &ier);
        const double done = bench::clock_s(CLOCK_MONOTONIC);
        if (ier != 0 || angles[3] != 40.0f) {
            ++failures;
            continue;
        }
        lat.push_back((done - g_last_byte_written.load()) * 1e6);
    }
    g_stop = true;
    peer.join();
    if (!bench::print_latency("gcreada latency", "read", lat, failures)) return 1;

    gcclose(&ier);
    close(master);
    close(slave);
    return 0;
}
