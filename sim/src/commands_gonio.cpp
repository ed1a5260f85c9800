// Goniometer commands of the simulated controller: angle update and request
// ("U<axis>,<value>"), the reference request "I", the axis and coupled limits
// ("B<axis>,<low><high>", "L <low><high>") and the distance stage on axis 5
// ("P5", "F5 <pos>", "S5 <speed> F5 <pos>", "B5", "B5 <low><high>").
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "command_text.h"
#include "goniosim/model.h"
#include "goniosim/simulator.h"

namespace goniosim {

namespace {

using command_text::trim;

constexpr int kStageAxis = 5;

// Reads one number that must fill the whole text (blanks around it allowed).
bool parse_number(std::string_view s, double &out) {
    s = trim(s, "\r");
    if (s.empty()) return false;
    const std::string text(s);
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

// Reads two numbers: two fixed 8-character fields when the text is exactly
// that long (the fields may touch), else two items separated by blanks or a comma.
bool parse_pair(std::string_view s, double &a, double &b) {
    if (s.size() == 16 && parse_number(s.substr(0, 8), a) && parse_number(s.substr(8), b)) {
        return true;
    }
    s = trim(s, "\r");
    const size_t cut = s.find_first_of(" ,\t");
    if (cut == std::string_view::npos) return false;
    std::string_view rest = s.substr(cut);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == ',' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    return parse_number(s.substr(0, cut), a) && parse_number(rest, b);
}

// A stage value in the controller's units, as an 8-character field with 3 decimals.
std::string stage_field(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.3f", v);
    return buf;
}

// Starts the stage towards target; the executor carries it there at its speed.
void move_stage(Controller &c, double target) {
    Axis &ax = c.model().axes[kStageAxis];
    ax.target = target;
    ax.moving = true;
}

// "F5 <pos>"
bool stage_move(Controller &c, std::string_view cmd) {
    if (cmd.size() < 3 || cmd[0] != 'F' || cmd[1] != '5' || cmd[2] != ' ') return false;
    double pos = 0.0;
    if (!parse_number(cmd.substr(3), pos)) return false;
    move_stage(c, pos);
    return true;
}

// "S5 <speed> F5 <pos>": the speed and target in one command.
bool stage_speed_and_move(Controller &c, std::string_view cmd) {
    if (cmd.size() < 3 || cmd[0] != 'S' || cmd[1] != '5' || cmd[2] != ' ') return false;
    const size_t f = cmd.find(" F5 ");
    if (f == std::string_view::npos) return false;
    double speed = 0.0, pos = 0.0;
    if (!parse_number(cmd.substr(3, f - 3), speed) || !parse_number(cmd.substr(f + 4), pos)) {
        return false;
    }
    c.model().axes[kStageAxis].speed = speed;
    move_stage(c, pos);
    return true;
}

// "U<axis>,<value>": axis 0 only asks; 1..4 set a circle, 5 the stage.
bool update(Controller &c, std::string_view cmd) {
    if (cmd.size() < 3 || cmd[0] != 'U' || cmd[2] != ',') return false;
    if (cmd[1] < '0' || cmd[1] > '5') return false;
    double v = 0.0;
    if (!parse_number(cmd.substr(3), v)) return false;
    const int axis = cmd[1] - '0';
    Model &m = c.model();
    if (axis > 0) {
        m.axes[axis].position = v;
        m.axes[axis].target = v;
    }
    c.reply(angle_reply(m));
    return true;
}

// "B<axis>,<low><high>" for the circles, "B5" (request) and "B5 <low><high>" for the stage.
bool limits(Controller &c, std::string_view cmd) {
    if (cmd.size() < 2 || cmd[0] != 'B' || cmd[1] < '1' || cmd[1] > '5') return false;
    const int axis = cmd[1] - '0';
    Axis &ax = c.model().axes[axis];
    double lo = 0.0, hi = 0.0;
    if (axis == kStageAxis) {
        if (cmd.size() == 2) {
            c.reply(stage_field(ax.low));
            c.reply(stage_field(ax.high));
            return true;
        }
        if (cmd[2] != ' ' || !parse_pair(cmd.substr(3), lo, hi)) return false;
    } else {
        if (cmd.size() < 3 || cmd[2] != ',' || !parse_pair(cmd.substr(3), lo, hi)) return false;
    }
    ax.low = lo;
    ax.high = hi;
    return true;
}

// "L <low><high>": the coupled limits on omega minus 2-theta.
bool coupled_limits(Controller &c, std::string_view cmd) {
    if (cmd.size() < 2 || cmd[0] != 'L' || cmd[1] != ' ') return false;
    double lo = 0.0, hi = 0.0;
    if (!parse_pair(cmd.substr(2), lo, hi)) return false;
    c.model().coupled_low = lo;
    c.model().coupled_high = hi;
    return true;
}

}  // namespace

bool handle_gonio_command(Controller &c, std::string_view raw) {
    // Trailing blanks are not part of a command ("P5 " and "B5 " end in one).
    std::string_view cmd = raw;
    while (!cmd.empty() && (cmd.back() == ' ' || cmd.back() == '\r')) cmd.remove_suffix(1);
    while (!cmd.empty() && cmd.front() == ' ') cmd.remove_prefix(1);
    if (cmd.empty()) return false;

    switch (cmd[0]) {
        case 'U':
            return update(c, cmd);
        case 'I':
            if (cmd.size() != 1) return false;  // "I <n>" counts readings (motion family)
            c.reply(std::to_string(c.model().ref1) + ", " + std::to_string(c.model().ref2));
            return true;
        case 'B':
            return limits(c, cmd);
        case 'L':
            return coupled_limits(c, cmd);
        case 'P':
            if (cmd != "P5") return false;
            c.reply(stage_field(c.model().axes[kStageAxis].position));
            return true;
        case 'F':
            return stage_move(c, cmd);
        case 'S':
            return stage_speed_and_move(c, cmd);
        default:
            return false;
    }
}

}  // namespace goniosim
