// Probe for instruction counts under valgrind --tool=callgrind (run it with
// scripts/callgrind.sh): one angle read or one drive request against the
// simulated controller, after a warm-up that pays the one-time costs (time
// zone, trace level). The script restricts collection to the measured entry
// point; the counts are zeroed after the warm-up and dumped after the call.
// Outside valgrind the client requests do nothing and the probe just runs.
//   callgrind_bench read|drive
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gonioctl.h"
#include "goniosim/simulator.h"

int main(int argc, char **argv) {
    const bool drive = argc > 1 && std::strcmp(argv[1], "drive") == 0;
    goniosim::Simulator sim;
    if (!sim.start()) {
        std::perror("simulator");
        return 1;
    }
    setenv("GONIOCTL_COM1", sim.slave_path().c_str(), 1);
    int32_t ier = 0;
    gcsetport(1, &ier);
    gcopen(&ier);
    if (ier != 0) {
        std::fprintf(stderr, "gcopen: %d\n", ier);
        return 1;
    }
    const float start[4] = {20.0f, 10.0f, 0.0f, 0.0f};
    const float target[4] = {21.0f, 11.0f, 0.0f, 0.0f};
    const float speeds[4] = {10.0f, 10.0f, 10.0f, 10.0f};
    float angles[4];
    int32_t reading = 0;
    gcupdate(start, angles, &ier);
    gcreada(angles, &ier);
    gcdrsc(start, 0, 0.0f, speeds, 1, 0, &ier);
    gcdrscwait(0, &reading, 10.0f, &ier);

    CALLGRIND_ZERO_STATS;
    if (drive) {
        gcdrsc(target, 0, 0.0f, speeds, 1, 0, &ier);
        CALLGRIND_DUMP_STATS_AT("gcdrsc");
        int32_t wait_ier = 0;
        gcdrscwait(0, &reading, 10.0f, &wait_ier);
    } else {
        gcreada(angles, &ier);
        CALLGRIND_DUMP_STATS_AT("gcreada");
    }
    std::printf("%s: ier %d\n", drive ? "gcdrsc" : "gcreada", ier);
    gcclose(&ier);
    sim.stop();
    return ier == 0 ? 0 : 1;
}
