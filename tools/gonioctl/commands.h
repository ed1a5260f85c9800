// The commands of the gonioctl tool. Each takes its parsed arguments, runs
// against an open session (or none, for the offline ones), writes its output
// and returns true on success. Failures are reported before returning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session.h"

namespace gonioctl::cli {

struct AngleSet {
    float v[4] = {0, 0, 0, 0};
};

// ---- angles and limits ----
bool cmd_angles(Session &s);
bool cmd_update(Session &s, const AngleSet &a);
bool cmd_check(Session &s, const AngleSet &a, int32_t selector);
bool cmd_limits_get(Session &s, bool full);

struct LimitsSet {
    // Each optional pair replaces that circle's limits; the others stay.
    std::vector<float> pair[5];  // 2theta, omega, phi, chi, coupled (omega - 2theta)
};
bool cmd_limits_set(Session &s, const LimitsSet &l);

// ---- distance stage ----
bool cmd_stage_get(Session &s);
bool cmd_stage_set(Session &s, float distance, float speed);
bool cmd_stage_limits(Session &s, const std::vector<float> &set);  // empty: read
bool cmd_stage_update(Session &s, float distance);

// ---- motion ----
struct DriveRequest {
    AngleSet target;
    std::vector<float> speeds;  // one value for all circles, or four
    bool oscillate = false;
    bool rotate_phi = false;
    bool gate = false;
    bool shutter = false;
    bool attenuator = false;
    bool rewind = false;
    int32_t count = 0;        // readings of the counting command (type 3)
    float count_value = 1.0;  // its real field
    int32_t readings = 0;     // oscillation: readings over the whole scan
    std::optional<int32_t> lead_ms, trail_ms;
    std::optional<int32_t> extra_flags;  // raw flag bits added to the above
    float timeout = 300.0f;
    bool no_wait = false;
};
bool cmd_drive(Session &s, const DriveRequest &r);
bool cmd_home(Session &s, int circle, float speed);
bool cmd_encoder(Session &s, int circle, float value);
bool cmd_manual(Session &s, const std::vector<float> &speeds, const std::vector<int32_t> &params);

// ---- peripherals ----
bool cmd_shutter(Session &s, const std::string &action, int32_t delay_ms);
bool cmd_attenuator(Session &s, const std::string &action, int32_t delay_ms);
bool cmd_detector(Session &s, const std::string &action, const std::vector<int32_t> &times);
bool cmd_generator_get(Session &s);
bool cmd_generator_set(Session &s, float kv, float ma);

// ---- controller and errors ----
bool cmd_reset(Session &s, bool soft);
bool cmd_error(Session &s, int64_t value, bool code);

// ---- the narrated demonstration session ----
bool cmd_demo(Session &s);

}  // namespace gonioctl::cli
