// The behavioural model of the goniometer controller that the simulator
// carries out commands against. Plain data: the executor owns one Model and
// hands it to the command handlers under its lock.
#pragma once

#include <cstdint>
#include <string>

namespace goniosim {

struct Axis {
    double position = 0.0;  // degrees (axes 1..4) or stage units (axis 5)
    double target = 0.0;    // where a move in progress ends
    double speed = 10.0;    // units per second
    double low = -360.0;    // limits given by "B" (kept and enforced on moves)
    double high = 360.0;
    bool moving = false;
};

struct Generator {
    int32_t kv_set = 0, ma_set = 0;  // set-points
    int32_t kv = 0, ma = 0;          // read-backs
    bool computer_mode = true;       // false: local mode, commands refused ("?04")
    bool switched_on = true;         // false: refused ("?13")
    int32_t power_limit_w = 3000;    // kV * mA above this is refused ("?14")
};

// Counting state: the readings asked for by "I <n>" and the mean of the
// last count, answered to "ST".
struct Counting {
    int32_t readings = 0;
    double last_mean = 0.0;
};

struct Model {
    int32_t gonio_type = 3;
    Axis axes[6];                                  // index = controller axis number, 1..5 used
    double coupled_low = 0.0, coupled_high = 0.0;  // "L" limits on omega - 2theta
    bool echo = false;      // repeats each command line when on ("W0" toggles)
    bool outputs[17] = {};  // output lines 1..16 ("W+n" / "W-n")
    int32_t status1 = 0;    // status word 1 of the angle reply
    int32_t status2 = 0;    // status word 2 of the angle reply
    int32_t decimals = 3;   // decimals of the angle fields in replies
    bool manual_mode = false;
    int32_t ref1 = 0, ref2 = 0;  // values answered to the reference request "I"
    Generator generator;
    Counting count;
};

// Moves: a handler starts one by setting an axis's target and moving = true.
// As simulated time passes (Controller::busy, or real time scaled by the
// time scale) the executor carries every moving axis towards its target at
// its speed; with time scale 0 every move ends at once, after the command
// that started it.

// Carries every moving axis dt simulated seconds further.
void advance_motion(Model &m, double dt);
// Simulated seconds until every moving axis has arrived (0 when none moves).
double remaining_motion_time(const Model &m);
// Ends every move at once (at its target) or, with stop, where it stands.
void finish_motion(Model &m, bool stop = false);

// Status word 1 bits that reflect output lines.
inline constexpr int32_t kStatusShutterLine = 4;         // output line 3
inline constexpr int32_t kStatusAttenuatorLine = 32768;  // output line 4

}  // namespace goniosim
