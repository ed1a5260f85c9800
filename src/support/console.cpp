// Console lines with printer-style carriage control, written unbuffered to
// standard output.
#include "support/console.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "core/text.h"

namespace gonioctl {

namespace {

// Writes count bytes to standard output. A standard output whose reader has
// gone (a closed pipe) must make the write fail, not end the host process:
// SIGPIPE is held back for the write, and one raised by it is taken away
// again before the host's signal mask is restored.
bool write_all(const char *text, int32_t count) {
    sigset_t pipe_set, old_mask, pending;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    sigemptyset(&pending);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    const bool masked = pthread_sigmask(SIG_BLOCK, &pipe_set, &old_mask) == 0;

    bool ok = true;
    int32_t done = 0;
    while (done < count) {
        const ssize_t r = ::write(STDOUT_FILENO, text + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (r < 0 && errno == EPIPE && masked && !was_pending) {
                const timespec no_wait{};
                while (sigtimedwait(&pipe_set, nullptr, &no_wait) < 0 && errno == EINTR) {
                }
            }
            ok = false;
            break;
        }
        done += static_cast<int32_t>(r);
    }
    if (masked) pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    return ok;
}

}  // namespace

void CON_LINE(const char *text, int32_t len) {
    if (text != nullptr && len > 0 && text[0] == '+') {
        // "+" in the first column: continue on the current line.
        ++text;
        --len;
    } else {
        CON_WRITE("\r", 1, 1);
    }
    CON_WRITE(text, len, TRIMLEN(text, len));
    CON_WRITE("\r\n", 2, 2);
}

int32_t CON_WRITE(const char *text, int32_t len, int32_t count) {
    if (count > len) count = len;  // never past the end of the text
    if (text == nullptr || count <= 0) return 0;
    return write_all(text, count) ? 0 : -1;
}

}  // namespace gonioctl
