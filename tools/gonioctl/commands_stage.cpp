// The detector-distance stage (controller axis 5).
#include <cstdio>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

namespace {

// Without a declared stage every stage entry point returns at once and
// reports nothing, which would look like success; say so instead.
bool stage_present(Session &s, const char *command) {
    if (gc_stage_is_motorized()) return true;
    s.out().error(command, 0,
                  "no motorized distance stage declared (set VESK_STAGE or use --stage)");
    return false;
}

std::string fmt(const char *f, double a, double b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, f, a, b);
    return buf;
}

}  // namespace

bool cmd_stage_get(Session &s) {
    if (!stage_present(s, "stage get")) return false;
    float d = 0;
    int32_t ier = 0;
    gcgetdistance(&d, &ier);
    if (!s.check(ier, "stage get")) return false;
    s.out().text(fmt("distance %.3f", d));
    s.out().doc().num("distance", d);
    return true;
}

bool cmd_stage_set(Session &s, float distance, float speed) {
    if (!stage_present(s, "stage set")) return false;
    int32_t ier = 0;
    gcsetdistance(distance, speed, &ier);
    if (!s.check(ier, "stage set")) return false;
    s.out().text(fmt("stage driving to %.3f at speed %.3f", distance, speed));
    s.out().doc().num("target", distance).num("speed", speed);
    return true;
}

bool cmd_stage_limits(Session &s, const std::vector<float> &set) {
    if (!stage_present(s, "stage limits")) return false;
    int32_t ier = 0;
    if (set.size() == 2) {
        gcsetdistlimits(set[0], set[1], &ier);
        if (!s.check(ier, "stage limits")) return false;
    }
    float low = 0, high = 0;
    gcgetdistlimits(&low, &high, &ier);
    if (!s.check(ier, "stage limits")) return false;
    s.out().text(fmt("stage limits %.3f %.3f", low, high));
    s.out().doc().numbers("limits", {low, high});
    return true;
}

bool cmd_stage_update(Session &s, float distance) {
    if (!stage_present(s, "stage update")) return false;
    float reported = 0;
    int32_t ier = 0;
    gcupdate_dist(distance, &reported, &ier);
    if (!s.check(ier, "stage update")) return false;
    s.out().text(fmt("stage position set; controller reports %.3f", reported));
    s.out().doc().num("distance", reported);
    return true;
}

}  // namespace gonioctl::cli
