// Shutter, attenuator, detector signals and the X-ray generator.
#include <cstdio>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

namespace {

void show_shutter(Session &s) {
    int32_t open = 0, att = 0;
    float seconds = 0;
    gcshut_status(&open, &seconds);
    gcattn_status(&att);
    char buf[96];
    if (open)
        std::snprintf(buf, sizeof buf, "shutter open (%.1f s), attenuator %s", seconds,
                      att ? "in" : "out");
    else
        std::snprintf(buf, sizeof buf, "shutter closed, attenuator %s", att ? "in" : "out");
    s.out().text(buf);
    s.out().doc().boolean("shutter_open", open != 0).boolean("attenuator_in", att != 0);
    if (open) s.out().doc().num("open_seconds", seconds);
}

}  // namespace

bool cmd_shutter(Session &s, const std::string &action, int32_t delay_ms) {
    if (action != "status") {
        const int32_t mode = action == "open" ? 1 : 0;
        int32_t ier = 0;
        if (delay_ms > 0)
            gcshutter_delayed(mode, delay_ms, &ier);
        else
            gcshutter(mode, &ier);
        if (!s.check(ier, "shutter")) return false;
    }
    show_shutter(s);
    return true;
}

bool cmd_attenuator(Session &s, const std::string &action, int32_t delay_ms) {
    int32_t ier = 0;
    if (action == "in") {
        // The shutter opens with the attenuator in.
        gcinat(&ier);
    } else if (action == "open") {
        gcatten_delayed(1, delay_ms, &ier);
    } else if (action == "close") {
        gcatten_delayed(0, delay_ms, &ier);
    }
    if (!s.check(ier, "attenuator")) return false;
    show_shutter(s);
    return true;
}

bool cmd_detector(Session &s, const std::string &action, const std::vector<int32_t> &t) {
    int32_t ier = 0;
    std::string what;
    if (action == "on") {
        gcenable_det(&ier);
        what = "detector signal on";
    } else if (action == "off") {
        gcdisable_det(&ier);
        what = "detector signal off";
    } else if (action == "gate") {
        gcenwaitdis_det(t.at(0));
        what = "detector gate of " + std::to_string(t.at(0)) + " ms sent";
    } else if (action == "expose" || action == "attenuated") {
        if (action == "expose")
            gcenwaitsh_det(t.at(0), t.at(1), t.at(2));
        else
            gcenwaitat_det(t.at(0), t.at(1), t.at(2));
        what = (action == "expose" ? "exposure" : "attenuated exposure") +
               std::string(" sent: lead ") + std::to_string(t[0]) + " ms, exposure " +
               std::to_string(t[1]) + " ms, trail " + std::to_string(t[2]) + " ms";
    }
    if (!s.check(ier, "detector")) return false;
    s.out().text(what);
    s.out().doc().str("action", action);
    if (!t.empty()) {
        std::vector<double> ms(t.begin(), t.end());
        s.out().doc().numbers("times_ms", ms);
    }
    return true;
}

bool cmd_generator_get(Session &s) {
    float kv = 0, ma = 0;
    int32_t ier = 0;
    gcget_generator(&kv, &ma, &ier);
    if (!s.check(ier, "generator get")) return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "generator %.0f kV %.0f mA", kv, ma);
    s.out().text(buf);
    s.out().doc().num("kv", kv).num("ma", ma);
    return true;
}

bool cmd_generator_set(Session &s, float kv, float ma) {
    int32_t ier = 0;
    gcset_generator(kv, ma, &ier);
    if (!s.check(ier, "generator set")) return false;
    return cmd_generator_get(s);
}

}  // namespace gonioctl::cli
