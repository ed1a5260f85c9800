// Driving, homing, encoder set and manual mode.
#include <climits>
#include <cstdio>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

namespace {

constexpr int32_t kFacility = 1101 * 65536;
constexpr int32_t kNeedUpdate = kFacility + 7;
constexpr int32_t kTimeout = kFacility + 10;
constexpr int32_t kInterrupted = kFacility + 14;
constexpr int32_t kHomeLost = kFacility + 36;

// Flag bits of a drive request.
constexpr int32_t kFlagCount = 1;
constexpr int32_t kFlagGate = 2;
constexpr int32_t kFlagShutterClose = 4;
constexpr int32_t kFlagRewind = 8;
constexpr int32_t kFlagShutterOpen = 16;
constexpr int32_t kFlagAttenuatorOpen = 64;

std::string fmt(const char *f, double a, double b = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, f, a, b);
    return buf;
}

// Reports a failed motion call, with a hint where the fix is known.
void report(Session &s, const char *command, int32_t ier) {
    if (ier == kInterrupted || s.interrupted()) {
        s.report_interrupt(command);
        return;
    }
    std::string text = error_text(ier);
    if (ier == kNeedUpdate)
        text += " (run 'update 2THETA OMEGA PHI CHI' before it in the same invocation)";
    s.out().error(command, ier, text);
}

}  // namespace

bool cmd_drive(Session &s, const DriveRequest &r) {
    const char *cmd = "drive";
    float speeds[4];
    for (int i = 0; i < 4; ++i)
        speeds[i] = r.speeds.empty() ? 5.0f : (r.speeds.size() == 1 ? r.speeds[0] : r.speeds[i]);

    int32_t flags = 0;
    if (r.gate) flags |= kFlagGate;
    if (r.shutter) flags |= kFlagShutterOpen | kFlagShutterClose;
    if (r.attenuator) flags |= kFlagAttenuatorOpen | kFlagShutterClose;
    if (r.rewind) flags |= kFlagRewind;
    if (r.count > 0) flags |= kFlagCount;
    if (r.extra_flags) flags |= *r.extra_flags;
    const int32_t mode = r.rotate_phi ? 3 : (r.oscillate ? 2 : 1);
    const int32_t nreadings = r.count > 0 ? r.count : r.readings;

    if (r.lead_ms || r.trail_ms) {
        int32_t lead = 0, trail = 0;
        gcaddflags_get_delay(&lead, &trail);
        if (r.lead_ms) lead = *r.lead_ms;
        if (r.trail_ms) trail = *r.trail_ms;
        gcaddflags_set_delay(&lead, &trail);
    }

    // Readings are collected only on a type 3 goniometer with a counting
    // command; elsewhere the library sends none.
    const bool counting =
        gcget_goniometer() == 3 && r.count > 0 && r.count_value > 0.0f && (flags & kFlagCount);

    Reports &rep = s.reports();
    const double t0 = s.elapsed();
    int32_t ier = 0;
    gcdrsc(r.target.v, nreadings, r.count_value, speeds, mode, flags, &ier);
    if (ier != 0) {
        report(s, cmd, ier);
        return false;
    }
    const int32_t mask = rep.motion_mask;
    s.out().doc().integer("moving_mask", mask).integer("flags", flags).integer("mode", mode);
    s.out().progress(fmt("[%7.2f s] from    ", s.elapsed()) + angles_text(rep.angles));
    std::string moving = "moving:";
    for (int c = 1; c <= 4; ++c)
        if (mask & (1 << (c - 1))) moving += std::string(" ") + circle_name(c);
    s.out().progress(fmt("[%7.2f s] ", s.elapsed()) + (mask ? moving : "nothing to move"));
    if (r.no_wait) {
        s.out().text("drive sent; not waiting for it");
        return true;
    }
    s.set_live(true);

    // One record at a time, so that readings and the angle reply are shown as
    // they come; the drive is over once the angle reply and every expected
    // reading have arrived.
    const int angle_base = rep.angle_reports;
    std::vector<double> readings;
    for (;;) {
        if (r.timeout > 0 && s.elapsed() - t0 > r.timeout) {
            s.set_live(false);
            report(s, cmd, kTimeout);
            return false;
        }
        int32_t reading = INT32_MIN;
        gcdrscwait(0, &reading, r.timeout, &ier);
        if (reading != INT32_MIN) {
            readings.push_back(reading);
            s.out().progress(fmt("[%7.2f s] reading %.0f", s.elapsed(), reading));
        }
        if (ier != 0) {
            s.set_live(false);
            report(s, cmd, ier);
            return false;
        }
        if (s.interrupted()) {
            // The library saw no interrupt (it came between two records);
            // leave the controller as the reset would.
            s.set_live(false);
            int32_t rier = 0;
            gcreset(&rier);
            s.report_interrupt(cmd);
            return false;
        }
        const bool ended = rep.angle_reports > angle_base;
        if (ended && (!counting || readings.size() >= static_cast<size_t>(r.count))) break;
    }
    s.set_live(false);
    const double took = s.elapsed() - t0;
    s.out().text(fmt("drive done in %.2f s", took));
    s.out().text("at " + angles_text(rep.angles));
    Json &d = s.out().doc();
    d.object("angles", angles_json(rep.angles)).num("elapsed_s", took);
    if (rep.shutter >= 0) d.integer("shutter_state", rep.shutter);
    if (!readings.empty()) d.numbers("readings", readings);
    return true;
}

bool cmd_home(Session &s, int circle, float speed) {
    const char *cmd = "home";
    const double t0 = s.elapsed();
    int32_t ier = 0;
    s.out().progress(std::string("homing ") + circle_name(circle) + fmt(" at speed %.1f", speed));
    gchome_axis(circle, speed, &ier);
    if (ier != 0) {
        if (ier == kHomeLost || s.interrupted()) {
            s.report_interrupt(cmd);
            s.out().warn(error_text(kHomeLost));
        } else {
            report(s, cmd, ier);
        }
        return false;
    }
    const double took = s.elapsed() - t0;
    float a[4];
    gcreada(a, &ier);
    if (!s.check(ier, cmd)) return false;
    s.out().text(std::string(circle_name(circle)) + fmt(" homed in %.2f s", took));
    s.out().text("at " + angles_text(a));
    s.out()
        .doc()
        .str("circle", circle_name(circle))
        .num("elapsed_s", took)
        .object("angles", angles_json(a));
    return true;
}

bool cmd_encoder(Session &s, int circle, float value) {
    int32_t ier = 0;
    gcencoder_set(circle, value, &ier);
    if (!s.check(ier, "encoder")) return false;
    s.out().text(std::string(circle_name(circle)) + fmt(" encoder set to %.4f", value));
    s.out().doc().str("circle", circle_name(circle)).num("value", value);
    return true;
}

bool cmd_manual(Session &s, const std::vector<float> &speeds, const std::vector<int32_t> &params) {
    float v[5] = {5.0f, 5.0f, 5.0f, 5.0f, 5.0f};
    for (size_t i = 0; i < speeds.size() && i < 5; ++i) v[i] = speeds[i];
    if (speeds.size() == 1)
        for (float &x : v) x = speeds[0];
    int32_t p[2] = {1, 1};
    for (size_t i = 0; i < params.size() && i < 2; ++i) p[i] = params[i];
    int32_t ier = 0;
    gcmanual_mode(p, v, &ier);
    if (!s.check(ier, "manual")) return false;
    s.out().text("manual mode on");
    s.out()
        .doc()
        .numbers("speeds", {v[0], v[1], v[2], v[3], v[4]})
        .numbers("params", {1.0 * p[0], 1.0 * p[1]});
    return true;
}

}  // namespace gonioctl::cli
