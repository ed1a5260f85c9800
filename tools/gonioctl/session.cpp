#include "session.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gonioctl.h"

#if GONIOCTL_TOOL_WITH_SIM
#include "goniosim/simulator.h"
#endif

namespace gonioctl::cli {

namespace {

// The host's interrupt state of the library's interrupt protocol: set by
// Ctrl-C, answered by interrupt_cb, changed by set_interrupt_cb.
volatile std::sig_atomic_t g_interrupt_state = 0;
// Ctrl-C presses seen; the third one ends the process at once, in case a
// controller never lets a wait end.
volatile std::sig_atomic_t g_sigint_count = 0;

Session *g_session = nullptr;
Reports g_reports;
bool g_live = false;

using Clock = std::chrono::steady_clock;
Clock::time_point g_start = Clock::now();

extern "C" void on_sigint(int) {
    g_interrupt_state = 1;
    if (g_sigint_count < 1000) g_sigint_count = g_sigint_count + 1;
    if (g_sigint_count >= 3) {
        static const char msg[] = "\ngonioctl: interrupted three times, giving up\n";
        ssize_t n = write(STDERR_FILENO, msg, sizeof msg - 1);
        (void)n;
        _exit(130);
    }
}

std::string stamp() {
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%7.2f s] ", g_session ? g_session->elapsed() : 0.0);
    return buf;
}

std::string mask_text(int32_t mask) {
    if (mask == 0) return "at rest";
    std::string out = "moving:";
    for (int c = 1; c <= 4; ++c)
        if (mask & (1 << (c - 1))) {
            out += ' ';
            out += circle_name(c);
        }
    return out;
}

std::string shutter_text(int32_t state) {
    // Reported while a drive or homing is followed: two bits of the
    // controller's first status word, 2 = output line 3 (shutter side),
    // 1 = output line 4 (attenuator).
    std::string out = (state & 2) ? "shutter line on" : "shutter line off";
    out += (state & 1) ? ", attenuator line on" : ", attenuator line off";
    return out;
}

extern "C" void cb_angles(const float *a) {
    if (!a) return;
    for (int i = 0; i < 4; ++i) g_reports.angles[i] = a[i];
    ++g_reports.angle_reports;
    if (g_live && g_session) g_session->out().progress(stamp() + "angles  " + angles_text(a));
}

extern "C" void cb_motion(const int32_t *mask) {
    if (!mask) return;
    g_reports.motion_mask = *mask;
    ++g_reports.motion_reports;
    if (g_live && g_session) g_session->out().progress(stamp() + mask_text(*mask));
}

extern "C" void cb_shutter(const int32_t *state) {
    if (!state) return;
    g_reports.shutter = *state;
    if (g_live && g_session) g_session->out().progress(stamp() + shutter_text(*state));
}

extern "C" void cb_attenuator(const int32_t *state) {
    if (!state) return;
    g_reports.attenuator = *state;
    if (g_live && g_session)
        g_session->out().progress(stamp() + (*state ? "attenuator in" : "attenuator out"));
}

extern "C" int32_t cb_interrupt(void) {
    return g_interrupt_state ? 1 : 0;
}

extern "C" void cb_set_interrupt(const int32_t *state) {
    if (state) g_interrupt_state = *state ? 1 : 0;
}

extern "C" void cb_trace(const char *text, int32_t len) {
    if (!text || len <= 0 || !g_session) return;
    std::string_view t(text, static_cast<size_t>(len));
    if (auto nul = t.find('\0'); nul != std::string_view::npos) t = t.substr(0, nul);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\r' || t.back() == '\n'))
        t.remove_suffix(1);
    if (t.empty()) return;
    // Command and reply lines: the library writes them to standard output
    // itself at the same trace levels, so they are not repeated here.
    if (t.front() == '>' || t.front() == '<') return;
    g_session->out().warn("controller: " + std::string(t));
}

std::string trimmed(const char *text, size_t len) {
    std::string s(text, len);
    if (auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

const char *circle_name(int circle) {
    static const char *names[] = {"?", "2theta", "omega", "phi", "chi", "stage"};
    return (circle >= 1 && circle <= 5) ? names[circle] : names[0];
}

std::string error_text(int32_t value) {
    if (value == 0) return "success";
    char text[129];
    std::memset(text, ' ', sizeof text);
    gcget_error_text(value, text);
    std::string s = trimmed(text, 128);
    if (!s.empty()) return s;
    // Not one of the library's own values: name what the lower layers pass on.
    static const struct {
        int32_t value;
        const char *text;
    } kNames[] = {
        {-1, "not available"},
        {1, "not a serial device"},
        {2, "no such device (serial port not found)"},
        {5, "access denied or port already in use"},
        {6, "invalid serial port handle"},
        {31, "serial device failure or device gone"},
        {87, "invalid argument"},
        {599, "end of data while reading a number from the controller"},
    };
    for (const auto &n : kNames)
        if (n.value == value) return n.text;
    if (value > 2000 && value < 3000)
        return "cannot read a number from the controller (read status " +
               std::to_string(value - 2000) + ")";
    if (value > 0 && value < 2000) return "operating-system error " + std::to_string(value);
    return "error value " + std::to_string(value);
}

// ---- Embedded simulator ----------------------------------------------------

#if GONIOCTL_TOOL_WITH_SIM
class Simulation {
  public:
    explicit Simulation(const Globals &g) {
        goniosim::Options o;
        o.gonio_type = g.type ? g.type : 3;
        o.time_scale = g.time_scale;
        sim_ = std::make_unique<goniosim::Simulator>(o);
    }
    bool start() { return sim_->start(); }
    std::string device() const { return sim_->slave_path(); }

  private:
    std::unique_ptr<goniosim::Simulator> sim_;
};
#else
class Simulation {
  public:
    explicit Simulation(const Globals &) {}
    bool start() {
        errno = ENOSYS;
        return false;
    }
    std::string device() const { return {}; }
};
#endif

// ---- Session ---------------------------------------------------------------

Session::Session(Output &out) : out_(out) {
    g_session = this;
    g_reports = Reports{};
}

Session::~Session() {
    close();
    g_live = false;
    if (g_session == this) g_session = nullptr;
}

Reports &Session::reports() {
    return g_reports;
}

bool Session::prepare(const Globals &g) {
    globals_ = g;
    // The library reads the trace level and the stage setting once, on first
    // need, so they are put into the environment before anything else.
    if (g.trace >= 0) {
        unsetenv("KORU$DBGLEVEL");
        setenv("KORU_DBGLEVEL", std::to_string(g.trace).c_str(), 1);
    }
    if (g.stage) {
        unsetenv("VESK$STAGE");
        setenv("VESK_STAGE", "1", 1);
    }
    const std::string var = "GONIOCTL_COM" + std::to_string(g.port);
    if (g.sim) {
        sim_ = std::make_unique<Simulation>(g);
        if (!sim_->start()) {
            int err = errno;
            out_.error("sim", 0,
                       std::string("cannot start the simulator: ") +
                           (err == ENOSYS ? "not built into this gonioctl" : std::strerror(err)));
            sim_.reset();
            return false;
        }
        setenv(var.c_str(), sim_->device().c_str(), 1);
    } else if (!g.device.empty()) {
        setenv(var.c_str(), g.device.c_str(), 1);
    }
    int32_t ier = 0;
    gcsetport(g.port, &ier);
    if (g.type) {
        const int32_t type = g.type;
        gcset_goniometer(&type);
    }
    gc_callbacks(cb_angles, cb_motion, cb_shutter, cb_attenuator, nullptr, cb_interrupt, nullptr,
                 cb_set_interrupt, cb_trace);
    restart_clock();
    return true;
}

bool Session::open(std::string_view command) {
    if (opened_) return true;
    int32_t ier = 0;
    gcopen(&ier);
    if (ier != 0) {
        const char *dev = getenv(("GONIOCTL_COM" + std::to_string(globals_.port)).c_str());
        std::string where =
            (dev && *dev) ? std::string(dev) : "/dev/ttyS" + std::to_string(globals_.port - 1);
        out_.error(
            command, ier,
            error_text(ier) + " (COM" + std::to_string(globals_.port) + " on " + where + ")");
        return false;
    }
    opened_ = true;
    // Opening succeeds whenever the port opens, whether or not a controller
    // answers; one angle read proves that one does, and gives the angles.
    float angles[4];
    gcreada(angles, &ier);
    if (ier != 0) {
        if (interrupted()) {
            report_interrupt(command);
        } else {
            out_.error(command, ier, error_text(ier) + " (no usable answer from the controller)");
        }
        close();
        return false;
    }
    return true;
}

void Session::close() {
    if (!opened_) return;
    int32_t ier = 0;
    gcclose(&ier);
    opened_ = false;
}

bool Session::check(int32_t ier, std::string_view command) {
    if (ier == 0) return true;
    out_.error(command, ier, error_text(ier));
    return false;
}

bool Session::interrupted() const {
    return g_sigint_count > 0;
}

void Session::report_interrupt(std::string_view command) {
    out_.error(command, 0, "Interrupted by user");
}

void Session::set_live(bool live) {
    g_live = live && !out_.json();
}

double Session::elapsed() const {
    return std::chrono::duration<double>(Clock::now() - g_start).count();
}

void Session::restart_clock() {
    g_start = Clock::now();
}

std::string Session::sim_device() const {
    return sim_ ? sim_->device() : std::string();
}

void install_interrupt_handler() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
}

}  // namespace gonioctl::cli
