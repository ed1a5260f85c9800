// The tool's side of the host protocol: environment and port set-up, the
// embedded simulator, the nine callbacks, Ctrl-C, opening and closing the
// link, and the texts of error values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"

namespace gonioctl::cli {

struct Globals {
    int port = 1;             // COM1..COM4
    std::string device;       // device path for that port (GONIOCTL_COMn)
    int type = 0;             // goniometer type 2..4; 0 leaves the library's (3)
    int trace = -1;           // trace level; -1 leaves the environment alone
    bool sim = false;         // run against an embedded simulator
    double time_scale = 5.0;  // simulator: simulated seconds per real second (0 = instant)
    bool stage = false;       // declare a motorized distance stage
    bool json = false;
};

// What the library's callbacks have reported.
struct Reports {
    float angles[4] = {0, 0, 0, 0};
    int angle_reports = 0;
    int32_t motion_mask = 0;
    int motion_reports = 0;
    int32_t shutter = -1;     // last shutter_cb value; -1 before any
    int32_t attenuator = -1;  // last attenuator_cb value; -1 before any
};

// The text of an error value: the library's message, or a name for an
// operating-system error number or a numeric read status.
std::string error_text(int32_t value);

// Names of the circles, 1..4.
const char *circle_name(int circle);

class Simulation;  // the embedded simulator, when built in

class Session {
  public:
    explicit Session(Output &out);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Sets the environment (trace level, stage, device), starts the simulator
    // when asked, selects the port and goniometer type and registers the
    // callbacks. Must come before any other library call. False when it failed
    // (reported).
    bool prepare(const Globals &g);
    // Opens the link and checks that a controller answers. False when it
    // failed (reported under the given command name).
    bool open(std::string_view command);
    void close();

    Output &out() { return out_; }
    const Globals &globals() const { return globals_; }
    Reports &reports();

    // Reports ier under the command name when it is nonzero; true when 0.
    bool check(int32_t ier, std::string_view command);
    // True once the user pressed Ctrl-C.
    bool interrupted() const;
    // Reports "Interrupted by user" under the command name.
    void report_interrupt(std::string_view command);

    // While live, the callbacks print what they report, with the elapsed time.
    void set_live(bool live);
    // Seconds since the session began (or since restart_clock()).
    double elapsed() const;
    void restart_clock();

    // The simulator's slave device while one runs, else empty.
    std::string sim_device() const;

  private:
    Output &out_;
    Globals globals_;
    std::unique_ptr<Simulation> sim_;
    bool opened_ = false;
};

// Installs the SIGINT handler that drives the library's interrupt protocol.
void install_interrupt_handler();

}  // namespace gonioctl::cli
