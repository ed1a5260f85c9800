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
    double time_scale = 0.0;  // simulated seconds per real second of motion; 0 = instant
    int32_t line_rate = 0;    // bytes paced as at this baud rate (10 bits a byte); 0 = unpaced
    bool echo = false;        // controller echo on at start
    std::string log_path;     // traffic log, empty = none
};

enum class Fault {
    None,
    Silence,    // receive everything, answer nothing (not even BEL or ACK)
    Garbage,    // answer every request with kGarbageRecord (echo and resets unchanged)
    Collision,  // the next move ends in collision (status word 1 bit 0)
};

// Damage applied to every record the model sends (not to queued replies,
// which go out exactly as given, nor to the single reset characters).
struct Inject {
    bool lf = false;       // a line feed after the first character and before the CR
    bool xoff = false;     // an XOFF/XON pair after the first character
    bool top_bit = false;  // every byte sent with its top bit set
    size_t pad_to = 0;     // blanks added before the CR up to this many characters
};

// The garbage record sent in place of every reply under Fault::Garbage.
inline constexpr std::string_view kGarbageRecord = "#?@!~%&*^$\r";

class Controller;  // command-handler view of the running simulator

class Simulator {
  public:
    explicit Simulator(Options opts = {});
    ~Simulator();  // stops the service thread and closes the pseudo-terminal
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool start();  // false (and errno kept) when no pty could be made
    void stop();
    const std::string &slave_path() const;
    bool make_link(const std::string &path);  // symlink path -> slave

    // Recorded traffic.
    std::vector<std::string> lines() const;  // every line received, CR included
    std::string received() const;            // every byte received
    void clear_received();
    // Commands that no family recognised (they are logged and ignored).
    std::vector<std::string> unrecognised() const;
    // Waits until at least n lines were received (false on time-out).
    bool wait_lines(size_t n, double timeout_s = 2.0) const;
    // Waits until every byte written to the slave so far has been read and
    // recorded (false on time-out).
    bool sync(double timeout_s = 2.0) const;
    // Waits until every received command has been carried out and every
    // reply written (false on time-out).
    bool wait_idle(double timeout_s = 5.0) const;

    // Scripted replies: each queued reply answers one received line in
    // order, in place of the model's own answer to it.
    void queue_reply(std::string bytes);
    // Writes bytes to the line now.
    void send(std::string_view bytes);
    void set_fault(Fault f);
    Fault fault() const;
    void set_inject(const Inject &inj);
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
    // Later commands wait this many simulated seconds while moves progress
    // (seconds / time_scale real time; with time scale 0 the moves advance
    // at once and nothing waits).
    virtual void busy(double seconds) = 0;
    virtual double time_scale() const = 0;
    virtual Fault fault() const = 0;
    virtual void set_fault(Fault f) = 0;  // e.g. Collision back to None once used
    virtual double now() const = 0;       // simulated seconds since start
};

// Command families: each returns true when it recognised and carried out cmd
// (one command, as split from the received line, without its CR).
bool handle_link_command(Controller &c, std::string_view cmd);
bool handle_gonio_command(Controller &c, std::string_view cmd);
bool handle_motion_command(Controller &c, std::string_view cmd);
bool handle_homing_command(Controller &c, std::string_view cmd);
bool handle_periph_command(Controller &c, std::string_view cmd);

// Readable form of bytes: control characters escaped (<CR>, <BEL>, <x93>).
std::string escape(std::string_view s);

// The angle reply record for the model's current positions and status words.
std::string angle_reply(const Model &m);

// Splits one received line (without its CR) into commands: a command starts
// at an upper-case letter at the start of the line or after a blank, tab,
// comma or digit ("RC1GS2RC0" -> RC1, GS2, RC0). Blanks and commas around a
// command are dropped; text before the first such letter is a command too.
std::vector<std::string> split_commands(std::string_view line);

}  // namespace goniosim
