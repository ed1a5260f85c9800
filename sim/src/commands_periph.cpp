// Peripheral commands of the simulated controller: the X-ray generator behind
// it. (Output lines, waits and the detector-type command are link commands.)
//
// The generator is addressed by bracketing its command with "RC1" and "RC0"
// on one line ("RC1GV   40RC0"). The line splitter hands these over as
// separate commands (RC1, GV   40, RC0); a value written as "*****" is not
// followed by a digit, so "GV*****RC0" arrives as one command and is taken
// apart here. Only the generator command itself answers: one record per line.
//
// Generator records:
//   accepted set-point or read-back   two characters and the value in five:
//                                     "V=   40" (voltage), "I=   30" (current)
//   refusal                           '?' and a two-digit code:
//     01 no such read-back ("GS" other than 2 and 3)
//     02 value missing or not a number  03 value out of range
//     04 command needs computer mode    13 generator switched off
//     14 power limit exceeded
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

#include "command_text.h"
#include "goniosim/simulator.h"

namespace goniosim {

namespace {

using command_text::starts_with_nocase;
using command_text::trim;

// Largest set-point the generator takes, in kV and in mA.
constexpr int32_t kMaxKv = 100;
constexpr int32_t kMaxMa = 100;

// A trailing "RC0" stays attached to the argument when the value did not end
// in a digit ("GV*****RC0"); it is not part of the value.
void drop_trailing_rc0(std::string_view &arg) {
    if (arg.size() >= 3 && starts_with_nocase(arg.substr(arg.size() - 3), "RC0"))
        arg.remove_suffix(3);
}

// A whole number with optional sign and surrounding blanks; false otherwise.
bool parse_int(std::string_view s, int32_t &out) {
    s = trim(s, ",\r\n");
    if (s.empty()) return false;
    bool neg = false;
    size_t i = 0;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i >= s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        v = v * 10 + (s[i] - '0');
        if (v > 1000000000) return false;
    }
    out = static_cast<int32_t>(neg ? -v : v);
    return true;
}

void refuse(Controller &c, int code) {
    char rec[8];
    std::snprintf(rec, sizeof rec, "?%02d", code);
    c.reply(rec);
}

void value_record(Controller &c, char tag, int32_t value) {
    char rec[32];
    std::snprintf(rec, sizeof rec, "%c=%5d", tag, value);
    c.reply(rec);
}

// "GV n" / "GC n": set the voltage or the current.
void set_point(Controller &c, bool voltage, std::string_view arg) {
    Generator &g = c.model().generator;
    drop_trailing_rc0(arg);
    int32_t v = 0;
    if (!parse_int(arg, v)) return refuse(c, 2);
    if (v < 0 || v > (voltage ? kMaxKv : kMaxMa)) return refuse(c, 3);
    if (!g.computer_mode) return refuse(c, 4);
    if (!g.switched_on) return refuse(c, 13);
    const int64_t power = static_cast<int64_t>(voltage ? v : g.kv_set) * (voltage ? g.ma_set : v);
    if (power > g.power_limit_w) return refuse(c, 14);
    if (voltage) {
        g.kv_set = g.kv = v;
    } else {
        g.ma_set = g.ma = v;
    }
    value_record(c, voltage ? 'V' : 'I', v);
}

// "GS2" / "GS3": report the voltage or current read-back.
void report(Controller &c, std::string_view arg) {
    const Generator &g = c.model().generator;
    drop_trailing_rc0(arg);
    int32_t which = 0;
    if (!parse_int(arg, which)) return refuse(c, 2);
    if (which != 2 && which != 3) return refuse(c, 1);  // no such read-back
    // A switched-off generator has nothing at its tube.
    if (which == 2) return value_record(c, 'V', g.switched_on ? g.kv : 0);
    value_record(c, 'I', g.switched_on ? g.ma : 0);
}

}  // namespace

bool handle_periph_command(Controller &c, std::string_view cmd) {
    cmd = trim(cmd, ",\r\n");
    if (cmd.size() < 2) return false;

    // Generator addressing: switches the controller's generator channel on
    // and off around a generator command; neither answers.
    if (starts_with_nocase(cmd, "RC")) {
        int32_t on = 0;
        return parse_int(cmd.substr(2), on) && (on == 0 || on == 1);
    }
    if (starts_with_nocase(cmd, "GV")) return set_point(c, true, cmd.substr(2)), true;
    if (starts_with_nocase(cmd, "GC")) return set_point(c, false, cmd.substr(2)), true;
    if (starts_with_nocase(cmd, "GS")) return report(c, cmd.substr(2)), true;

    return false;
}

}  // namespace goniosim
