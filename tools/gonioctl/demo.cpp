// The narrated demonstration: a typical data-collection session against the
// embedded simulated controller, each step with its elapsed time.
#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "gonioctl.h"

namespace gonioctl::cli {

namespace {

class Narrator {
  public:
    explicit Narrator(Session &s) : s_(s) {}

    void step(const char *title) {
        finish();
        ++n_;
        step_start_ = s_.elapsed();
        open_ = true;
        char buf[160];
        std::snprintf(buf, sizeof buf, "\n[%7.2f s] Step %d: %s", step_start_, n_, title);
        s_.out().text(buf);
    }
    void say(const std::string &line) { s_.out().progress("             " + line); }
    void finish() {
        if (!open_) return;
        char buf[64];
        std::snprintf(buf, sizeof buf, "             (step took %.2f s)",
                      s_.elapsed() - step_start_);
        s_.out().text(buf);
        open_ = false;
    }
    int steps() const { return n_; }

  private:
    Session &s_;
    int n_ = 0;
    double step_start_ = 0;
    bool open_ = false;
};

std::string fmt(const char *f, double a = 0, double b = 0, double c = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b, c);
    return buf;
}

bool fail(Session &s, const char *what, int32_t ier) {
    if (s.interrupted()) {
        s.report_interrupt(what);
    } else {
        s.out().error(what, ier, error_text(ier));
    }
    return false;
}

}  // namespace

bool cmd_demo(Session &s) {
    Narrator n(s);
    const int type = gcget_goniometer();
    int32_t ier = 0;
    float a[4];

    s.out().text("gonioctl demo: a data-collection session against the simulated controller");
    s.out().text("(goniometer type " + std::to_string(type) + ", simulator on " + s.sim_device() +
                 "; run with --trace 3 to see the wire traffic)");

    n.step("open the link");
    if (!s.open("demo")) return false;
    n.say("link open on COM" + std::to_string(s.globals().port) + "; the controller answers");

    n.step("read the angles");
    gcreada(a, &ier);
    if (ier) return fail(s, "read angles", ier);
    n.say(angles_text(a));
    int32_t need = 0;
    gc_needupdate(&need);
    n.say(need ? "the controller's angles have not been set yet: drives are refused until an update"
               : "the controller's angles are set");

    n.step("update the angles: tell the controller where the circles stand");
    const float here[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float reported[4];
    gcupdate(here, reported, &ier);
    if (ier) return fail(s, "update", ier);
    n.say("controller now reports " + angles_text(reported));

    n.step("limit check: a target beyond the omega limit is refused");
    const float too_far[4] = {20.0f, 70.0f, 0.0f, 0.0f};
    n.say("target " + angles_text(too_far));
    gcchklimits(too_far, 0, &ier);
    if (ier == 0) return fail(s, "limit check", 0);
    n.say("refused: " + error_text(ier));

    // Drives go through the tool's own drive command, which shows the motion
    // as the library reports it.
    n.step("drive 2-theta and omega to 20 / 10 degrees");
    DriveRequest d;
    d.target = {{20.0f, 10.0f, 0.0f, 0.0f}};
    d.speeds = {10.0f};
    d.timeout = 60.0f;
    if (!cmd_drive(s, d)) return false;

    n.step(type == 3 ? "drive phi to 90 degrees and chi to 30 degrees"
                     : "drive phi to 90 degrees (this goniometer has no chi circle)");
    d.target = {{20.0f, 10.0f, 90.0f, type == 3 ? 30.0f : 0.0f}};
    if (!cmd_drive(s, d)) return false;

    if (type == 3) {
        n.step("omega scan 10 -> 14 degrees with detector gate and shutter, counting 4 readings");
        d = DriveRequest{};
        d.target = {{20.0f, 14.0f, 90.0f, 30.0f}};
        d.speeds = {2.0f};
        d.gate = true;
        d.shutter = true;
        d.count = 4;
        d.count_value = 0.5f;
        d.lead_ms = 50;
        d.trail_ms = 20;
        d.timeout = 60.0f;
    } else {
        n.step("omega oscillation 10 -> 30 degrees with detector gate and shutter");
        d = DriveRequest{};
        d.target = {{20.0f, 30.0f, 90.0f, 0.0f}};  // only omega moves: the oscillation circle
        d.speeds = {2.0f};
        d.oscillate = true;
        d.readings = 100;
        d.gate = true;
        d.shutter = true;
        d.lead_ms = 50;
        d.trail_ms = 20;
        d.timeout = 60.0f;
    }
    if (!cmd_drive(s, d)) return false;

    n.step("phi rotation with detector gate and shutter");
    d = DriveRequest{};
    d.target = {{20.0f, type == 3 ? 14.0f : 30.0f, 90.0f, type == 3 ? 30.0f : 0.0f}};
    d.speeds = {90.0f};
    d.rotate_phi = true;
    d.timeout = 60.0f;
    if (!cmd_drive(s, d)) return false;

    n.step("shutter and attenuator");
    int32_t open = 0, att = 0;
    float secs = 0;
    gcshutter(1, &ier);
    if (ier) return fail(s, "shutter", ier);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcshut_status(&open, &secs);
    n.say(open ? fmt("shutter open for %.2f s", secs) : std::string("shutter not open"));
    gcshutter(0, &ier);
    if (ier) return fail(s, "shutter", ier);
    gcshut_status(&open, &secs);
    n.say(open ? "shutter still open" : "shutter closed");
    gcinat(&ier);
    if (ier) return fail(s, "attenuator", ier);
    gcattn_status(&att);
    n.say(att ? "shutter opened with the attenuator in" : "attenuator not in");
    gcshutter(0, &ier);
    if (ier) return fail(s, "shutter", ier);
    gcattn_status(&att);
    n.say(att ? "attenuator still in" : "shutter closed, attenuator out");

    n.step("timed exposure: gate on, 100 ms, shutter open 500 ms, 50 ms, gate off");
    gcenwaitsh_det(100, 500, 50);
    n.say("sequence sent; the controller times it by itself");
    gcenwaitdis_det(200);
    n.say("detector gate of 200 ms sent");

    n.step("X-ray generator: set 40 kV 30 mA and read back");
    gcset_generator(40.0f, 30.0f, &ier);
    if (ier) return fail(s, "generator set", ier);
    float kv = 0, ma = 0;
    gcget_generator(&kv, &ma, &ier);
    if (ier) return fail(s, "generator get", ier);
    n.say(fmt("generator reports %.0f kV %.0f mA", kv, ma));

    n.step("home omega");
    const double t0 = s.elapsed();
    gchome_axis(2, 30.0f, &ier);
    if (ier) return fail(s, "home", ier);
    n.say(fmt("omega homed in %.2f s", s.elapsed() - t0));
    gcreada(a, &ier);
    if (ier) return fail(s, "read angles", ier);
    n.say(angles_text(a));

    n.step("close the link");
    s.close();
    n.say("link closed");
    n.finish();
    s.out().text(fmt("\ndemo finished in %.2f s", s.elapsed()));
    s.out().doc().integer("steps", n.steps()).num("elapsed_s", s.elapsed());
    return true;
}

}  // namespace gonioctl::cli
