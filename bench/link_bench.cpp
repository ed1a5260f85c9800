// Figures of the reply reader over a pseudo-terminal:
//  1. CPU time spent during a 2-second wait in which nothing arrives, as a
//     share of the wall time (the reader blocks in poll(2) between looks);
//  2. latency from the controller writing the last byte of a reply to the
//     reader returning the record, p50 and p99 over 1,000 exchanges.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "core/state.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/serial.h"
#include "support/raw_pty.h"

using namespace gonioctl;

namespace {

double clock_s(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::atomic<double> g_last_byte_written{0.0};

// Plays the controller: answers every command line with a 48-character
// record, its last byte (the CR) written on its own after a short pause so
// that the reader is waiting when it arrives.
void controller(int master, int exchanges) {
    const char body[] = "   10.000   20.000   30.000   40.000     0     0";
    int answered = 0;
    int n = 0;
    while (answered < exchanges) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 1000) <= 0) continue;
        char c = 0;
        if (read(master, &c, 1) != 1) continue;
        ++n;
        if (c != '\r') continue;
        n = 0;
        if (write(master, body, sizeof(body) - 1) < 0) return;
        timespec pause{0, 300000};
        nanosleep(&pause, nullptr);
        g_last_byte_written = clock_s(CLOCK_MONOTONIC);
        if (write(master, "\r", 1) != 1) return;
        ++answered;
    }
}

}  // namespace

int main() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (!testsupport::open_raw_pty(master, slave, name)) {
        std::perror("openpty");
        return 1;
    }
    setenv("GONIOCTL_COM1", name, 1);

    int32_t st = 0;
    gcsetport(1, st);
    COMOPEN(st);
    if (st != 0) {
        std::fprintf(stderr, "open failed: %d\n", st);
        return 1;
    }
    COMSETUP(9600, 8, "N", 1, 1.0f, "X", 1, st);
    g_state.link_open = 1;

    // 1. An idle wait, after a short one that loads the time zone and reads
    // the trace level.
    char buf[132];
    int32_t count = 0;
    GCGETW(buf, 132, 0.05f, count, st);
    double w0 = clock_s(CLOCK_MONOTONIC), c0 = clock_s(CLOCK_PROCESS_CPUTIME_ID);
    GCGETW(buf, 132, 2.0f, count, st);
    double wall = clock_s(CLOCK_MONOTONIC) - w0, cpu = clock_s(CLOCK_PROCESS_CPUTIME_ID) - c0;
    std::printf("idle wait: status %s, wall %.3f s, cpu %.4f s, cpu/wall %.5f (target <= 0.01)\n",
                st == GCERR(10) ? "time-out" : "unexpected", wall, cpu, cpu / wall);

    // 2. Reply latency.
    constexpr int kExchanges = 1000;
    std::thread peer(controller, master, kExchanges);
    std::vector<double> lat;
    lat.reserve(kExchanges);
    int failures = 0;
    for (int i = 0; i < kExchanges; ++i) {
        GCPUT1("U0,0.0\r", 7, st);
        GCGETW(buf, 132, 5.0f, count, st);
        double done = clock_s(CLOCK_MONOTONIC);
        if (st != 0 || count != 49) {
            ++failures;
            continue;
        }
        lat.push_back((done - g_last_byte_written.load()) * 1e6);
    }
    peer.join();
    std::sort(lat.begin(), lat.end());
    if (lat.empty()) {
        std::printf("latency: no exchange completed\n");
        return 1;
    }
    auto pct = [&](double p) {
        return lat[static_cast<size_t>(p * static_cast<double>(lat.size() - 1))];
    };
    std::printf(
        "reply latency over %zu exchanges (%d failed): p50 %.1f us, p99 %.1f us, max %.1f us "
        "(target p99 < 1000 us)\n",
        lat.size(), failures, pct(0.50), pct(0.99), lat.back());

    int32_t ier = 0;
    gcclose(ier);
    close(master);
    close(slave);
    return 0;
}
