// Homing, encoder set and manual mode as the simulated controller carries
// them out.
//
//   "HM<n>,<speed>"  homes axis n (1..4) to 0 at speed degrees per second.
//                    The axis moves home at that speed (it becomes the axis
//                    speed) and the commands after it wait until it is there; the angle request
//                    that the library sends next is then answered with the angle reply, whose last
//                    field (status word 2) is the homing status: 0 when homed, bit 128 when the
//                    axis or speed was refused.
//   "EZ<n>,<value>"  sets the encoder (the position) of axis n (1..5).
//   "M<p1>[<p2>]"    enters manual mode (digits and blanks only; "M+3,1" is
//                    the phi rotation of the motion family).
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "goniosim/simulator.h"

namespace goniosim {

namespace {

constexpr int32_t kRefused = 128;

// Reads "<digit>,<number>" after a two-letter command. False when the text
// does not have that form.
bool axis_and_value(std::string_view rest, int &axis, double &value) {
    if (rest.size() < 2 || !std::isdigit(static_cast<unsigned char>(rest[0])) || rest[1] != ',')
        return false;
    axis = rest[0] - '0';
    const std::string number(rest.substr(2));
    char *end = nullptr;
    value = std::strtod(number.c_str(), &end);
    if (end == number.c_str()) return false;
    for (; *end != '\0'; ++end)
        if (!std::isspace(static_cast<unsigned char>(*end))) return false;
    return std::isfinite(value);
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool home(Controller &c, std::string_view rest) {
    int axis = 0;
    double speed = 0.0;
    Model &m = c.model();
    if (!axis_and_value(rest, axis, speed)) {
        m.status2 |= kRefused;
        return true;
    }
    if (axis < 1 || axis > 4 || speed <= 0.0) {
        m.status2 |= kRefused;
        return true;
    }
    // The axis runs home at the homing speed like any other move, so a
    // reset during the homing leaves it wherever it had got to.
    Axis &a = m.axes[axis];
    const double distance = std::fabs(a.position);
    a.target = 0.0;
    a.speed = speed;
    a.moving = distance > 0.0;
    m.status2 &= ~kRefused;
    if (a.moving) c.busy(distance / speed);
    return true;
}

bool set_encoder(Controller &c, std::string_view rest) {
    int axis = 0;
    double value = 0.0;
    if (!axis_and_value(rest, axis, value) || axis < 1 || axis > 5) return true;
    Axis &a = c.model().axes[axis];
    a.position = value;
    a.target = value;
    a.moving = false;
    return true;
}

bool is_manual_mode(std::string_view cmd) {
    if (cmd.size() < 2 || cmd[0] != 'M') return false;
    bool digit = false;
    for (char ch : cmd.substr(1)) {
        if (std::isdigit(static_cast<unsigned char>(ch)))
            digit = true;
        else if (ch != ' ')
            return false;
    }
    return digit;
}

}  // namespace

bool handle_homing_command(Controller &c, std::string_view cmd) {
    if (starts_with(cmd, "HM")) return home(c, cmd.substr(2));
    if (starts_with(cmd, "EZ")) return set_encoder(c, cmd.substr(2));
    if (is_manual_mode(cmd)) {
        c.model().manual_mode = true;
        return true;
    }
    return false;
}

}  // namespace goniosim
