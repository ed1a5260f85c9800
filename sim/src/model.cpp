// Motion bookkeeping of the model and the angle reply record.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "goniosim/simulator.h"

namespace goniosim {

void advance_motion(Model &m, double dt) {
    if (!(dt > 0.0)) return;
    for (int i = 1; i <= 5; ++i) {
        Axis &a = m.axes[i];
        if (!a.moving) continue;
        double left = a.target - a.position;
        double step = std::fabs(a.speed) * dt;
        if (!(a.speed != 0.0) || std::fabs(left) <= step) {
            // A zero speed would never arrive: such a move ends at once.
            a.position = a.target;
            a.moving = false;
        } else {
            a.position += left > 0 ? step : -step;
        }
    }
}

double remaining_motion_time(const Model &m) {
    double t = 0.0;
    for (int i = 1; i <= 5; ++i) {
        const Axis &a = m.axes[i];
        if (!a.moving || a.speed == 0.0) continue;
        t = std::max(t, std::fabs(a.target - a.position) / std::fabs(a.speed));
    }
    return t;
}

void finish_motion(Model &m, bool stop) {
    for (int i = 1; i <= 5; ++i) {
        Axis &a = m.axes[i];
        if (!a.moving) continue;
        if (stop)
            a.target = a.position;
        else
            a.position = a.target;
        a.moving = false;
    }
}

namespace {

// Appends v right-justified in width characters, always with at least one
// blank before it so that fields never run together.
void put_field(std::string &out, const char *digits, int width) {
    int n = static_cast<int>(std::char_traits<char>::length(digits));
    int pad = std::max(1, width - n);
    out.append(static_cast<size_t>(pad), ' ');
    out.append(digits, static_cast<size_t>(n));
}

}  // namespace

std::string angle_reply(const Model &m) {
    // Four decimal fields (2-theta, omega, phi, chi) of decimals + 6
    // characters, then the two status words in six characters each:
    // [  10.000   20.000   30.000    0.000     0     0] and a CR.
    int d = std::clamp(m.decimals, 1, 6);
    double half_unit = 0.5 * std::pow(10.0, -d);
    std::string out;
    char buf[64];
    for (int i = 1; i <= 4; ++i) {
        double v = m.axes[i].position;
        if (!std::isfinite(v)) v = 0.0;
        v = std::clamp(v, -1e9, 1e9);
        if (std::fabs(v) < half_unit) v = 0.0;  // never "-0.000"
        std::snprintf(buf, sizeof buf, "%.*f", d, v);
        put_field(out, buf, d + 6);
    }
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(m.status1));
    put_field(out, buf, 6);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(m.status2));
    put_field(out, buf, 6);
    out += '\r';
    return out;
}

}  // namespace goniosim
