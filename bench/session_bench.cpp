// Session efficiency at line rate: a scripted session against the simulated
// controller paced at 9600 baud, with motion in real time.
//
//   efficiency = wall time / (wire time of the controller's bytes
//                             + pauses the library must make (input flush,
//                               reset) + simulated motion time
//                             + controller waits the session asks for)
//
// The simulator paces what it sends at the line rate; what the library sends
// reaches the pseudo-terminal at once, so only the controller's direction
// takes wire time here (the host's own bytes are shown for reference).
//
// 1.0 means the library adds nothing of its own; the target is <= 1.05.
// Bytes read and pauses made are counted by link-time wraps of COMREAD and
// GCSLEEP (see CMakeLists.txt).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "gonioctl.h"
#include "goniosim/simulator.h"

namespace {

long g_bytes_read = 0;
double g_pause_seconds = 0.0;

double now_s() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Positions {
    double pos[5];
    double speed[5];
};

Positions snapshot(goniosim::Simulator &sim) {
    Positions p{};
    sim.with_model([&](goniosim::Model &m) {
        for (int a = 1; a <= 4; ++a) {
            p.pos[a] = m.axes[a].position;
            p.speed[a] = m.axes[a].speed;
        }
    });
    return p;
}

// Seconds the slowest circle needed between two snapshots.
double motion_seconds(const Positions &before, const Positions &after) {
    double t = 0.0;
    for (int a = 1; a <= 4; ++a) {
        const double d = std::fabs(after.pos[a] - before.pos[a]);
        if (d > 1e-9 && after.speed[a] > 0.0) t = std::fmax(t, d / after.speed[a]);
    }
    return t;
}

int g_failures = 0;
void check(const char *what, int32_t ier) {
    if (ier != 0) {
        std::fprintf(stderr, "%s: ier %d\n", what, ier);
        ++g_failures;
    }
}

}  // namespace

extern "C" {
void __real__ZN8gonioctl7COMREADEPciRiS1_(char *buf, int32_t requested, int32_t &done,
                                          int32_t &status);
void __wrap__ZN8gonioctl7COMREADEPciRiS1_(char *buf, int32_t requested, int32_t &done,
                                          int32_t &status) {
    __real__ZN8gonioctl7COMREADEPciRiS1_(buf, requested, done, status);
    g_bytes_read += done;
}
void __real__ZN8gonioctl7GCSLEEPEf(float seconds);
void __wrap__ZN8gonioctl7GCSLEEPEf(float seconds) {
    g_pause_seconds += seconds;
    __real__ZN8gonioctl7GCSLEEPEf(seconds);
}
}

int main() {
    goniosim::Options opts;
    opts.line_rate = 9600;
    opts.time_scale = 1.0;
    goniosim::Simulator sim(opts);
    if (!sim.start()) {
        std::perror("simulator");
        return 1;
    }
    setenv("GONIOCTL_COM1", sim.slave_path().c_str(), 1);

    constexpr int kDrives = 20;
    constexpr int32_t kLead = 10, kExposure = 50, kTrail = 10;  // ms, detector sequence
    double motion = 0.0;
    int32_t ier = 0;

    const double t0 = now_s();
    gcsetport(1, &ier);
    gcopen(&ier);
    check("gcopen", ier);
    const float start[4] = {20.0f, 10.0f, 0.0f, 0.0f};
    float reported[4];
    gcupdate(start, reported, &ier);
    check("gcupdate", ier);
    for (int k = 0; k < kDrives; ++k) {
        // Two circles move together by one degree at 10 degrees a second.
        const float off = (k % 2 == 0) ? 1.0f : 0.0f;
        const float target[4] = {20.0f + off, 10.0f + off, 0.0f, 0.0f};
        const float speeds[4] = {10.0f, 10.0f, 10.0f, 10.0f};
        const Positions before = snapshot(sim);
        gcdrsc(target, 0, 0.0f, speeds, 1, 0, &ier);
        check("gcdrsc", ier);
        int32_t reading = 0;
        gcdrscwait(0, &reading, 30.0f, &ier);
        check("gcdrscwait", ier);
        motion += motion_seconds(before, snapshot(sim));
    }
    gcshutter(1, &ier);
    check("gcshutter open", ier);
    gcshutter(0, &ier);
    check("gcshutter close", ier);
    gcenwaitsh_det(kLead, kExposure, kTrail);
    gcset_generator(40.0f, 30.0f, &ier);
    check("gcset_generator", ier);
    float kv = 0, ma = 0;
    gcget_generator(&kv, &ma, &ier);
    check("gcget_generator", ier);
    gcclose(&ier);
    const double wall = now_s() - t0;

    sim.sync();
    const long sent = static_cast<long>(sim.received().size());
    const double wire_in = static_cast<double>(g_bytes_read) * 10.0 / 9600.0;
    const double wire_out = static_cast<double>(sent) * 10.0 / 9600.0;
    const double waits = (kLead + kExposure + kTrail) / 1000.0;
    const double ideal = wire_in + g_pause_seconds + motion + waits;
    std::printf(
        "session at 9600 baud: %d drives, %ld bytes received (wire %.3f s; %ld sent, %.3f s "
        "unpaced), pauses %.3f s, motion %.3f s, controller waits %.3f s; wall %.3f s; "
        "efficiency %.3f (target <= 1.05)%s\n",
        kDrives, g_bytes_read, wire_in, sent, wire_out, g_pause_seconds, motion, waits, wall,
        wall / ideal,
        g_failures ? "  [some calls failed]" : "");
    sim.stop();
    return g_failures ? 1 : 0;
}
