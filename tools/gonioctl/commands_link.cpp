// Controller reset and error texts.
#include <climits>
#include <cstdio>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

bool cmd_reset(Session &s, bool soft) {
    int32_t ier = 0;
    if (soft)
        gcsoftreset(&ier);
    else
        gcreset(&ier);
    if (!s.check(ier, "reset")) return false;
    float a[4];
    gcgetangles(a);
    s.out().text(std::string(soft ? "soft" : "hard") + " reset done; " + angles_text(a));
    s.out().doc().str("kind", soft ? "soft" : "hard").object("angles", angles_json(a));
    return true;
}

bool cmd_error(Session &s, int64_t value, bool code) {
    if (code) {
        if (value < 0 || value > 65535) {
            s.out().error("error", 0, "a library error code is 0 to 65535");
            return false;
        }
        value += 1101 * 65536;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        s.out().error("error", 0, "an error value is a 32-bit integer");
        return false;
    }
    const auto v = static_cast<int32_t>(value);
    const std::string text = error_text(v);
    char buf[32];
    if (v != 0 && v / 65536 == 1101)
        std::snprintf(buf, sizeof buf, "%d (code %d)", v, v % 65536);
    else
        std::snprintf(buf, sizeof buf, "%d", v);
    s.out().text(std::string(buf) + ": " + text);
    s.out().doc().integer("value", v).str("text", text);
    if (v / 65536 == 1101) s.out().doc().integer("code", v % 65536);
    return true;
}

}  // namespace gonioctl::cli
