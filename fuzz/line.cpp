#include "line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/callbacks.h"
#include "core/state.h"
#include "link/serial.h"
#include "support/raw_pty.h"

namespace fuzzline {

namespace {

int g_master = -1;
std::vector<std::string> g_replies;
size_t g_next_reply = 0;
int g_commands = 0;
int32_t g_longest = 0;
int g_empty_asks = 0;

int32_t waiting() {
    int n = 0;
    if (ioctl(gonioctl::g_link.fd, FIONREAD, &n) != 0) return 0;
    return n;
}

// Ends a wait once the input is used up: the second ask in a row that finds
// nothing waiting answers "interrupt". A routine that asks once after each
// record therefore still handles a record that emptied the queue.
int32_t interrupt_when_drained() {
    if (waiting() > 0) {
        g_empty_asks = 0;
        return 0;
    }
    return ++g_empty_asks >= 2 ? 1 : 0;
}

void drain_master(std::string *into) {
    char buf[4096];
    for (;;) {
        ssize_t n = read(g_master, buf, sizeof(buf));
        if (n <= 0) break;
        if (into != nullptr) into->append(buf, static_cast<size_t>(n));
    }
}

}  // namespace

void open_line() {
    if (g_master >= 0) return;
    int slave = -1;
    char name[256] = {};
    // Raw from the start: the library's setup only adds flags, and the
    // terminal's default IXON would swallow XON and XOFF before the reader.
    if (!testsupport::open_raw_pty(g_master, slave, name)) std::abort();
    fcntl(g_master, F_SETFL, fcntl(g_master, F_GETFL) | O_NONBLOCK);
    setenv("GONIOCTL_COM1", name, 1);
    int32_t st = 0;
    gonioctl::COMSELECT(0, st);
    gonioctl::COMOPEN(st);
    if (st != 0) std::abort();
    gonioctl::COMSETUP(9600, 8, "N", 1, 1.0f, "N", 1, st);
    if (st != 0) std::abort();
    // The peer's own descriptor of the device side is no longer needed; the
    // library holds its own.
    close(slave);
    gonioctl::g_state.link_open = 1;
    gonioctl::g_callbacks.interrupt = interrupt_when_drained;
}

void queue(const std::string &bytes) {
    if (bytes.empty()) return;
    const int32_t before = waiting();
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(g_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd pfd{g_master, POLLOUT, 0};
            poll(&pfd, 1, 10);
        }
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (waiting() < before + static_cast<int32_t>(bytes.size()) &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
    }
}

void begin(std::vector<std::string> replies) {
    drain_master(nullptr);
    tcflush(gonioctl::g_link.fd, TCIFLUSH);
    gonioctl::g_state.link_open = 1;
    g_replies = std::move(replies);
    g_next_reply = 0;
    g_commands = 0;
    g_longest = 0;
    g_empty_asks = 0;
    if (!g_replies.empty()) queue(g_replies[g_next_reply++]);
}

std::string end() {
    std::string out;
    drain_master(&out);
    return out;
}

int commands_sent() {
    return g_commands;
}
int32_t longest_command() {
    return g_longest;
}

// Called from the GCPUT1 wrapper after each command went out.
void after_command(int32_t len) {
    ++g_commands;
    if (len > g_longest) g_longest = len;
    g_empty_asks = 0;
    if (g_next_reply < g_replies.size()) queue(g_replies[g_next_reply++]);
}

}  // namespace fuzzline

// Link-time wraps (-Wl,--wrap=...): calls between the library's own objects
// are routed here.
extern "C" {

// Pauses are skipped: the input flush and the reset would otherwise spend
// a tenth or a quarter of a second per input.
void __wrap__ZN8gonioctl7GCSLEEPEf(float) {}

void __real__ZN8gonioctl6GCPUT1EPKciRi(const char *text, int32_t len, int32_t &status);
void __wrap__ZN8gonioctl6GCPUT1EPKciRi(const char *text, int32_t len, int32_t &status) {
    __real__ZN8gonioctl6GCPUT1EPKciRi(text, len, status);
    fuzzline::after_command(len);
}
}
