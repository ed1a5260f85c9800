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

#include "bench_line.h"
#include "core/errors.h"
#include "core/state.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/serial.h"

using namespace gonioctl;

namespace {

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
        g_last_byte_written = bench::clock_s(CLOCK_MONOTONIC);
        if (write(master, "\r", 1) != 1) return;
        ++answered;
    }
}

}  // namespace

int main() {
    int master = -1, slave = -1;
    if (!bench::open_port_on_pty(master, slave)) return 1;
    int32_t st = 0;

    // 1. An idle wait, after a short one that loads the time zone and reads
    // the trace level.
    char buf[132];
    int32_t count = 0;
    GCGETW(buf, 132, 0.05f, count, st);
    double w0 = bench::clock_s(CLOCK_MONOTONIC), c0 = bench::clock_s(CLOCK_PROCESS_CPUTIME_ID);
    GCGETW(buf, 132, 2.0f, count, st);
    double wall = bench::clock_s(CLOCK_MONOTONIC) - w0,
           cpu = bench::clock_s(CLOCK_PROCESS_CPUTIME_ID) - c0;
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
        double done = bench::clock_s(CLOCK_MONOTONIC);
        if (st != 0 || count != 49) {
            ++failures;
            continue;
        }
        lat.push_back((done - g_last_byte_written.load()) * 1e6);
    }
    peer.join();
    if (!bench::print_latency("reply latency", "exchange", lat, failures)) return 1;

    int32_t ier = 0;
    gcclose(ier);
    close(master);
    close(slave);
    return 0;
}
