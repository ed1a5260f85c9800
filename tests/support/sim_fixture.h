// SimTest: a GoogleTest fixture that runs the simulated controller in-process
// on a fresh pseudo-terminal and points COM1 (GONIOCTL_COM1) at it.
//
//   TEST_F(SimTest, Something) {
//       open_link();                       // gcsetport(1) + gcopen, traffic cleared
//       ... call the library ...
//       EXPECT_EQ(sent_lines(), (Lines{"U0,0.0\r"}));
//   }
//
// A derived fixture changes the simulator's options in its constructor
// (sim_options.echo = true, sim_options.gonio_type = 2, ...).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "goniosim/simulator.h"

using Lines = std::vector<std::string>;

// Control characters in readable form (<CR>, <BEL>, <x93>), for assertions
// and their messages.
inline std::string show(std::string_view bytes) {
    return goniosim::escape(bytes);
}

inline std::string show(const Lines &lines) {
    std::string out;
    for (const auto &l : lines) out += "[" + show(l) + "]";
    return out;
}

class SimTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    goniosim::Simulator &sim() { return *sim_; }

    // gcsetport(1) and gcopen against the simulator; asserts ier 0 and an
    // open link, waits until the opening traffic is through, then forgets it.
    void open_link();

    // Every line the controller received since the last clear, CR included,
    // byte for byte (waits first until the host's bytes have arrived).
    Lines sent_lines();
    // The same once at least n lines have come in (or after two seconds).
    // For lines that get no reply: nothing else shows that they have come
    // through the pseudo-terminal, and on a loaded machine that can take
    // longer than the settle time of sent_lines().
    Lines sent_lines(size_t n);
    // Every byte received since the last clear.
    std::string sent_bytes();
    void clear_sent();
    // Waits until the controller has carried out everything it received.
    void wait_idle();

    // A copy of the model, or a change to it, under the simulator's lock.
    goniosim::Model model();
    void set_model(const std::function<void(goniosim::Model &)> &fn);
    // Sets the four circle positions (2-theta, omega, phi, chi).
    void set_angles(double tth, double om, double phi, double chi);

    goniosim::Options sim_options;

  private:
    std::unique_ptr<goniosim::Simulator> sim_;
};
