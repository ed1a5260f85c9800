// The controller line for the fuzz targets: a raw pseudo-terminal whose
// master side plays the controller, opened once per process.
//
// Replies are handed to the library the way a controller gives them: the
// first one is queued before the routine under test runs, and each further
// one is queued right after the library sends a command (GCPUT1 is wrapped
// at link time for that; see CMakeLists.txt). When nothing is left, the host's
// interrupt callback ends the wait, so no input costs a time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzline {

// Opens the link on the terminal (raw line, no flow control, so the reader
// sees every byte, XON and XOFF included) and registers the interrupt
// callback. Safe to call on every input; only the first call does the work.
void open_line();

// Replies to hand out: replies[0] is queued by begin(), the others one per
// command sent. Leftovers from the previous input are discarded first.
void begin(std::vector<std::string> replies);

// Everything the library wrote since begin(), drained from the terminal.
std::string end();

// Number of commands (GCPUT1 calls) since begin(), and the longest of them.
int commands_sent();
int32_t longest_command();

// Writes bytes as the controller and waits until the library side sees them.
void queue(const std::string &bytes);

}  // namespace fuzzline
