// Angles, limits and the limit check.
#include <cstdio>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

namespace {

const char *const kLimitNames[5] = {"2theta", "omega", "phi", "chi", "coupled"};

void show_limits(Session &s, const float *low, const float *high) {
    Json j;
    for (int i = 0; i < 5; ++i) {
        j.numbers(kLimitNames[i], {low[i], high[i]});
        char buf[96];
        const bool open = low[i] == 0.0f && high[i] == 0.0f;
        std::snprintf(buf, sizeof buf, "%-8s %9.3f %9.3f%s", kLimitNames[i], low[i], high[i],
                      open ? "  (unrestricted)" : "");
        s.out().text(buf);
    }
    s.out().doc().object("limits", j);
}

}  // namespace

bool cmd_angles(Session &s) {
    float a[4] = {0, 0, 0, 0};
    int32_t ier = 0;
    gcreada(a, &ier);
    if (!s.check(ier, "angles")) return false;
    int32_t need = 0;
    gc_needupdate(&need);
    s.out().text(angles_text(a));
    if (need) s.out().text("the controller's angles have not been set: run 'update' first");
    s.out().doc().object("angles", angles_json(a)).boolean("need_update", need != 0);
    return true;
}

bool cmd_update(Session &s, const AngleSet &req) {
    float reported[4] = {0, 0, 0, 0};
    int32_t ier = 0;
    gcupdate(req.v, reported, &ier);
    if (!s.check(ier, "update")) return false;
    s.out().text("updated: " + angles_text(reported));
    s.out().doc().object("angles", angles_json(reported));
    return true;
}

bool cmd_check(Session &s, const AngleSet &a, int32_t selector) {
    int32_t ier = 0;
    gcchklimits(a.v, selector, &ier);
    s.out().doc().object("angles", angles_json(a.v)).boolean("allowed", ier == 0);
    if (ier != 0) {
        // A refusal is the answer to the question, but scripts still see it
        // in the exit status.
        s.check(ier, "check");
        return false;
    }
    s.out().text("allowed: " + angles_text(a.v));
    return true;
}

bool cmd_limits_get(Session &s, bool full) {
    float low[5], high[5];
    if (full)
        gcgetfulllimits(low, high);
    else
        gcgetlimits(low, high);
    show_limits(s, low, high);
    return true;
}

bool cmd_limits_set(Session &s, const LimitsSet &l) {
    float low[5], high[5];
    gcgetlimits(low, high);
    for (int i = 0; i < 5; ++i) {
        if (l.pair[i].size() == 2) {
            low[i] = l.pair[i][0];
            high[i] = l.pair[i][1];
        }
    }
    gcsetlimits(low, high);
    gcgetlimits(low, high);
    show_limits(s, low, high);
    return true;
}

}  // namespace gonioctl::cli
