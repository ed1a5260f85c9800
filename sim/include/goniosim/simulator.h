// A simulated goniometer controller on a pseudo-terminal.
//
// start() opens a pseudo-terminal, acts as the controller on its master side
// in a service thread, and exposes the slave's path for the library (or any
// host program) to open. Command lines end in CR; replies are records ended
// by CR. Each received line is split into commands and carried out in order
// against the Model; a command that takes time (a move, a wait) holds back the
// commands after it, scaled by Options::time_scale (0 = instant).
//
// For tests there is a scripted side: every received byte and line is
// recorded, exact replies can be queued, and faults can be injected.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "goniosim/model.h"

namespace goniosim {

struct Options {
    int32_t gonio_type = 3;
    double time_scale = 0.0;   // simulated seconds per real second of motion; 0 = instant
    int32_t line_rate = 0;     // bytes paced as at this baud rate (10 bits a byte); 0 = unpaced
    bool echo = false;         // controller echo on at start
    std::string log_path;      // traffic log, empty = none
};

enum class Fault {
    None,
    Silence,      // receive everything, answer nothing
    Garbage,      // answer every request with a line of garbage
    Collision,    // the next move ends in collision (status word 1 bit 0)
};

class Controller;  // command-handler view of the running simulator

class Simulator {
public:
    explicit Simulator(Options opts = {});
    ~Simulator();  // stops the service thread and closes the pseudo-terminal
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool start();                    // false (and errno kept) when no pty could be made
    void stop();
    const std::string &slave_path() const;
    bool make_link(const std::string &path);  // symlink path -> slave

    // Recorded traffic.
    std::vector<std::string> lines() const;   // every line received, CR included
    std::string received() const;             // every byte received
    void clear_received();
    // Waits until at least n lines were received (false on time-out).
    bool wait_lines(size_t n, double timeout_s = 2.0) const;

    // Scripted replies: each queued reply answers one received line in
    // order, in place of the model's own answer to it.
    void queue_reply(std::string bytes);
    // Writes bytes to the line now.
    void send(std::string_view bytes);
    void set_fault(Fault f);
    // Closes the master side, as when a USB adapter is unplugged.
    void hang_up();

    // Runs fn on the model under the executor's lock.
    void with_model(const std::function<void(Model &)> &fn);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What a command handler sees while it carries out one command.
class Controller {
public:
    virtual ~Controller() = default;
    virtual Model &model() = 0;
    virtual void reply(std::string_view record) = 0;  // a record; CR appended if missing
    virtual void busy(double seconds) = 0;  // later commands wait this long (scaled)
    virtual double time_scale() const = 0;
    virtual Fault fault() const = 0;
};

// Command families: each returns true when it recognised and carried out cmd
// (one command, as split from the received line, without its CR).
bool handle_link_command(Controller &c, std::string_view cmd);
bool handle_gonio_command(Controller &c, std::string_view cmd);
bool handle_motion_command(Controller &c, std::string_view cmd);
bool handle_homing_command(Controller &c, std::string_view cmd);
bool handle_periph_command(Controller &c, std::string_view cmd);

// The angle reply record for the model's current positions and status words.
std::string angle_reply(const Model &m);

}  // namespace goniosim
