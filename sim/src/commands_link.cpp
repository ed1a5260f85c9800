// Link commands: the angle request, the echo toggle, the opening commands,
// output lines and timed waits.
#include <cctype>
#include <charconv>

#include "command_text.h"
#include "goniosim/simulator.h"

namespace goniosim {

namespace {

using command_text::starts_with_nocase;
using command_text::trim;

// The whole of s as a decimal integer (optional sign, surrounding blanks).
bool parse_int(std::string_view s, long &v) {
    s = trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Output lines 3 and 4 show in status word 1.
void reflect_outputs(Model &m) {
    m.status1 &= ~(kStatusShutterLine | kStatusAttenuatorLine);
    if (m.outputs[3]) m.status1 |= kStatusShutterLine;
    if (m.outputs[4]) m.status1 |= kStatusAttenuatorLine;
}

}  // namespace

bool handle_link_command(Controller &c, std::string_view cmd) {
    Model &m = c.model();

    // Angle request: "U0,0.0" (or "U0,0." at the end of a drive line).
    if (cmd == "U0" || cmd.substr(0, 3) == "U0,") {
        c.reply(angle_reply(m));
        return true;
    }
    if (cmd == "W0") {
        m.echo = !m.echo;
        return true;
    }
    // "DL0" and "DT1" (sent when the link opens): accepted, nothing to do.
    if ((cmd.substr(0, 2) == "DL" || cmd.substr(0, 2) == "DT") && all_digits(cmd.substr(2)))
        return true;
    // "W+n" / "W-n": output line n on or off.
    if (cmd.size() >= 3 && cmd[0] == 'W' && (cmd[1] == '+' || cmd[1] == '-')) {
        long n = 0;
        if (!parse_int(cmd.substr(2), n) || n < 1 || n > 16) return false;
        m.outputs[n] = cmd[1] == '+';
        reflect_outputs(m);
        return true;
    }
    // "WA n": wait n milliseconds before the rest of the line. A field that
    // is not a number (such as "******") or a negative one waits nothing.
    if (starts_with_nocase(cmd, "WA")) {
        long ms = 0;
        if (parse_int(cmd.substr(2), ms) && ms > 0) c.busy(static_cast<double>(ms) / 1000.0);
        return true;
    }
    return false;
}

}  // namespace goniosim
