// Motion commands of the simulated controller: speeds, relative moves, the
// wait for the end of motion, oscillation scans, the phi rotation and the
// counting command with its readings.
//
// A relative move ("A<n> d") sets the circle's target and marks it moving;
// the executor carries moving circles towards their targets as simulated
// time passes, so circles started one after the other move together, and
// "D" holds the following commands until the slowest has arrived. A move
// whose end would leave the limits given by "B"/"L" does not start: it sets
// the beyond-limit bit (status word 2, bit value 128). With the collision
// fault set, the next move ends in collision instead (status word 1, bit
// value 1) and the fault is used up.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "command_text.h"
#include "goniosim/simulator.h"

namespace goniosim {

namespace {

using command_text::trim;

constexpr int32_t kStatus1Collision = 1;
constexpr int32_t kStatus2BeyondLimits = 128;

// Reads one number at the front of s (after blanks and commas) and advances s.
bool take_number(std::string_view &s, double &v) {
    while (!s.empty() && (s.front() == ' ' || s.front() == ',' || s.front() == '\t'))
        s.remove_prefix(1);
    if (s.empty()) return false;
    std::string text(s);
    char *end = nullptr;
    v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(v)) return false;
    s.remove_prefix(static_cast<size_t>(end - text.c_str()));
    return true;
}

bool rest_blank(std::string_view s) {
    return trim(s, ",").empty();
}

// Axis digit right after the command letter: 1..5, or 0 when there is none.
int32_t axis_of(std::string_view cmd, size_t at) {
    if (cmd.size() <= at) return 0;
    const char c = cmd[at];
    return (c >= '1' && c <= '5') ? c - '0' : 0;
}

// Reduction into -180..180 for the limit tests.
double signed_angle(double x) {
    double r = std::fmod(x, 360.0);
    if (r >= 180.0) r -= 360.0;
    if (r < -180.0) r += 360.0;
    return r;
}

// A pair with both bounds 0 leaves the value unrestricted.
bool within(double x, double low, double high) {
    if (low == 0.0 && high == 0.0) return true;
    const double r = signed_angle(x);
    for (double cand : {r, r - 360.0, r + 360.0})
        if (cand >= low && cand <= high) return true;
    return false;
}

double end_of(const Axis &a) {
    return a.moving ? a.target : a.position;
}

// Whether the circles' positions after moving axis n to end stay inside the
// axis limits and the coupled limits on omega minus 2-theta.
bool move_allowed(const Model &m, int32_t n, double end) {
    if (n >= 1 && n <= 4 && !within(end, m.axes[n].low, m.axes[n].high)) return false;
    const double two_theta = n == 1 ? end : end_of(m.axes[1]);
    const double omega = n == 2 ? end : end_of(m.axes[2]);
    return within(omega - two_theta, m.coupled_low, m.coupled_high);
}

// Checks a move of axis n to end; false (with the status bit set) when it
// must not happen.
bool start_move(Controller &c, int32_t n, double end) {
    Model &m = c.model();
    if (c.fault() == Fault::Collision) {
        m.status1 |= kStatus1Collision;
        c.set_fault(Fault::None);
        return false;
    }
    if (!move_allowed(m, n, end)) {
        m.status2 |= kStatus2BeyondLimits;
        return false;
    }
    m.status2 &= ~kStatus2BeyondLimits;
    return true;
}

// "S<n> v", "S<n>,v": the speed of axis n.
bool speed(Controller &c, std::string_view cmd) {
    const int32_t n = axis_of(cmd, 1);
    if (n == 0) return false;
    std::string_view rest = cmd.substr(2);
    double v = 0.0;
    if (!take_number(rest, v) || !rest_blank(rest)) return false;
    c.model().axes[n].speed = std::fabs(v);
    return true;
}

// "A<n> d": starts axis n moving by d from where it stands (or is heading).
bool relative_move(Controller &c, std::string_view cmd) {
    const int32_t n = axis_of(cmd, 1);
    if (n == 0) return false;
    std::string_view rest = cmd.substr(2);
    double d = 0.0;
    if (!take_number(rest, d) || !rest_blank(rest)) return false;
    Axis &a = c.model().axes[n];
    const double end = end_of(a) + d;
    if (!start_move(c, n, end)) return true;
    a.target = end;
    a.moving = true;
    return true;
}

// "D": holds the following commands until every axis has arrived.
void wait_for_motion(Controller &c) {
    c.busy(remaining_motion_time(c.model()));
}

// "O<n> d step per": a scan of axis n over d degrees in sub-scans of step
// degrees at the axis speed; the command holds the line until the scan has
// ended.
bool oscillation(Controller &c, std::string_view cmd) {
    const int32_t n = axis_of(cmd, 1);
    if (n == 0 || n == 5) return false;
    std::string_view rest = cmd.substr(2);
    double d = 0.0, step = 0.0, per = 0.0;
    if (!take_number(rest, d) || !take_number(rest, step) || !take_number(rest, per) ||
        !rest_blank(rest))
        return false;
    Axis &a = c.model().axes[n];
    const double end = end_of(a) + d;
    if (start_move(c, n, end)) {
        a.target = end;
        a.moving = true;
    }
    wait_for_motion(c);
    return true;
}

// "M+3,1": one full turn of phi at its speed; the line is held meanwhile.
bool rotation(Controller &c, std::string_view cmd) {
    if (trim(cmd, ",") != "M+3,1") return false;
    Axis &phi = c.model().axes[3];
    if (c.fault() == Fault::Collision) {
        c.model().status1 |= kStatus1Collision;
        c.set_fault(Fault::None);
        return true;
    }
    phi.target = end_of(phi) + 360.0;
    phi.moving = true;
    wait_for_motion(c);
    return true;
}

// "I <n>": the number of readings of the next count ("I -1" asks for none).
bool count_setup(Controller &c, std::string_view cmd) {
    std::string_view rest = cmd.substr(1);
    if (rest_blank(rest)) return false;  // a bare "I" is the reference request
    double n = 0.0;
    if (!take_number(rest, n) || !rest_blank(rest)) return false;
    c.model().count.readings = n > 0.0 ? static_cast<int32_t>(n) : 0;
    return true;
}

// "C 0,v": counts v seconds per reading, one reading record each (an
// integer count, 1000 * v + 10 * the reading number). The records go out at
// once; the count holds the following commands for its whole time.
bool count(Controller &c, std::string_view cmd) {
    std::string_view rest = cmd.substr(1);
    double channel = 0.0, v = 0.0;
    if (!take_number(rest, channel) || !take_number(rest, v) || !rest_blank(rest)) return false;
    Counting &st = c.model().count;
    const int32_t n = st.readings;
    st.readings = 0;
    double sum = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
        const long value = std::lround(1000.0 * v) + 10L * i;
        sum += static_cast<double>(value);
        c.reply(std::to_string(value));
    }
    if (n > 0) {
        st.last_mean = sum / n;
        if (v > 0.0) c.busy(v * n);
    }
    return true;
}

// "ST": the mean of the last count, one decimal.
void count_status(Controller &c) {
    const double mean = c.model().count.last_mean;
    char text[48];
    std::snprintf(text, sizeof text, "ST %.1f", mean);
    c.reply(text);
}

}  // namespace

bool handle_motion_command(Controller &c, std::string_view cmd) {
    const std::string_view t = trim(cmd, ",");
    if (t.empty()) return false;
    switch (t.front()) {
        case 'S':
            if (t == "ST") {
                count_status(c);
                return true;
            }
            return speed(c, t);
        case 'A':
            return relative_move(c, t);
        case 'D':
            if (t != "D") return false;
            wait_for_motion(c);
            return true;
        case 'O':
            return oscillation(c, t);
        case 'M':
            return rotation(c, t);
        case 'I':
            return count_setup(c, t);
        case 'C':
            return count(c, t);
        default:
            return false;
    }
}

}  // namespace goniosim
