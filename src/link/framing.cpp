// Command transmission and reply reception on the controller link.
//
// Commands go out byte by byte up to their trimmed length; the caller
// supplies the CR. A reply record is everything up to and including a CR,
// with LF, XON and XOFF dropped and the top bit of every byte cleared; BEL,
// EOT and ACK end reception at once as one-character signal records.
#include "link/framing.h"

#include "core/callbacks.h"
#include "core/clock.h"
#include "core/errors.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "gonioctl.h"
#include "link/sequencing.h"
#include "link/serial.h"

namespace gonioctl {

// About five seconds of a line that never falls quiet.
constinit int32_t g_flush_passes = 50;

namespace {

// Length of the texts handed to trace_cb.
constexpr int32_t kTraceTextLen = 120;

// Longest slice spent blocked in poll(2) between looks at the clock and the
// host's interrupt callback.
constexpr float kWaitSliceSeconds = 0.010f;

// Hands the host a 120-character text: the marker and the first n characters.
void trace_text(char marker, const char *text, int32_t n) {
    char line[kTraceTextLen];
    blank_fill(line, kTraceTextLen);
    line[0] = marker;
    if (n > kTraceTextLen - 1) n = kTraceTextLen - 1;
    for (int32_t i = 0; i < n; ++i) line[1 + i] = text[i];
    notify_trace(line, kTraceTextLen);
}

// Milliseconds to block while nothing is waiting: one slice, or less when
// the time-out comes sooner.
int32_t wait_slice_ms(float timeout, float start) {
    float slice = kWaitSliceSeconds;
    if (timeout > 0.0f) {
        float left = timeout - elapsed_since(start);
        if (left < slice) slice = left;
    }
    if (slice <= 0.0f) return 1;
    auto ms = static_cast<int32_t>(slice * 1000.0f + 0.999f);
    return ms < 1 ? 1 : ms;
}

}  // namespace

void GCPUT1(const char *text, int32_t len, int32_t &status) {
    status = 0;
    if (g_state.link_open == 0 || text == nullptr) return;
    const int32_t n = TRIMLEN(text, len);
    for (int32_t i = 0; i < n; ++i) {
        int32_t done = 0;
        int32_t st = 0;
        // A failed write is not reported and does not stop the line.
        COMWRITE(text + i, 1, done, st);
    }
    if (tracing(3)) {
        if (tracing(5)) {
            for (int32_t i = 0; i < n; ++i)
                TraceLine("GCPUT1:  ") << static_cast<int32_t>(static_cast<unsigned char>(text[i]));
        }
        int32_t m = (n > 0 && text[n - 1] == kCR) ? n - 1 : n;
        if (m < 1) m = 1;
        // An all-blank text still shows its first position.
        TraceLine(">").text(text, m <= len ? m : len);
        trace_text('>', text, m <= len ? m : len);
    }
    status = 0;
}

void GCGETW(char *buf, int32_t len, float timeout, int32_t &count, int32_t &status) {
    count = 0;
    status = 0;
    if (buf != nullptr && len > 0) blank_fill(buf, len);
    if (g_state.link_open == 0) return;
    if (buf == nullptr || len < 0) len = 0;

    const float start = seconds_of_day();
    int32_t k = 0;
    for (;;) {
        int32_t q = 0;
        int32_t dataflag = 0;
        COMQUEUE(q, dataflag);
        if (q > 0) {
            if (tracing(7)) TraceLine("GCGETW IS:") << q;
            char byte = 0;
            int32_t st = 0;
            COMREAD(&byte, 1, count, st);
            if (tracing(8))
                TraceLine("COMREAD IC,NRET,IER:")
                    << static_cast<int32_t>(static_cast<unsigned char>(byte)) << count << st;
            if (st != 0) {
                status = st;
                return;
            }
            if (count == 1) {
                if (tracing(6))
                    TraceLine("GCGETW IC: ")
                        << static_cast<int32_t>(static_cast<unsigned char>(byte));
                const char c = static_cast<char>(static_cast<unsigned char>(byte) & 127);
                if (tracing(4)) {
                    if (c == kXON) TraceLine("XON");
                    if (c == kXOFF) TraceLine("XOFF");
                }
                // XON, XOFF and LF are dropped. They still pass the time-out
                // and interrupt checks below, so a line that carries nothing
                // else cannot hold the reader past its time-out.
                const bool dropped = c == kXON || c == kXOFF || c == kLF;
                if (c == kBEL || c == kEOT || c == kACK) {
                    if (len > 0) buf[0] = c;
                    count = 1;
                    gcflush();
                    status = GCERR(14);
                    return;
                }
                if (!dropped) {
                    ++k;
                    if (k > len) {
                        status = GCERR(13);
                        if (tracing(4)) TraceLine("GCGETW buffer overflow");
                        return;
                    }
                    buf[k - 1] = c;
                    if (c == kCR) {
                        count = k;
                        if (tracing(4)) {
                            TraceLine("<").text(buf, k);
                            trace_text('<', buf, k);
                        }
                        return;
                    }
                }
            }
        }
        if (timeout > 0.0f && elapsed_since(start) > timeout) {
            status = GCERR(10);
            return;
        }
        if (ask_interrupt() != 0) {
            status = 0;
            return;
        }
        if (q <= 0) {
            // Nothing waiting: block until a byte arrives or the slice ends.
            // A device that has gone away ends the wait at once.
            int32_t st = COMWAIT(wait_slice_ms(timeout, start));
            if (st != 0) {
                if (tracing(4)) TraceLine("GCGETW device gone, status") << st;
                status = st;
                return;
            }
        }
    }
}

void GCQUERY(const char *cmd, int32_t cmdlen, char *reply, int32_t replylen, int32_t &status) {
    status = 0;
    if (reply != nullptr && replylen > 0) blank_fill(reply, replylen);
    if (g_state.link_open == 0) return;
    gcflush();
    GCPUTS(cmd, cmdlen, status);
    if (status == 0) {
        int32_t count = 0;
        GCGETW(reply, replylen, 15.0f, count, status);
    }
}

void gcflush() {
    if (g_state.link_open == 0) return;
    int32_t dataflag = 0;
    int32_t q = 0;
    COMQUEUE(q, dataflag);
    // A controller that never stops sending would otherwise keep the flush,
    // and every query behind it, going for ever: after the last pass the
    // flush gives up, and the next reader meets whatever is still arriving.
    for (int32_t pass = 1; q > 0; ++pass) {
        if (pass > g_flush_passes) {
            if (tracing(5)) TraceLine("Flush: line still busy, bytes waiting") << q;
            return;
        }
        for (int32_t i = 0; i < q; ++i) {
            char byte = 0;
            int32_t done = 0;
            int32_t st = 0;
            COMREAD(&byte, 1, done, st);
            if (st != 0) return;
            if (tracing(5)) {
                char shown[1] = {byte};
                TraceLine("Flush:  ") << q << static_cast<int32_t>(static_cast<unsigned char>(byte))
                                      << std::string_view(shown, 1);
            }
        }
        GCSLEEP(0.1f);
        COMQUEUE(q, dataflag);
    }
}

void gcpoll(int32_t &count) {
    if (g_state.link_open == 0) {
        count = -1;
        return;
    }
    int32_t dataflag = 0;
    COMQUEUE(count, dataflag);
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcflush(void) {
    gonioctl::gcflush();
    return 0;
}

GC_API int32_t gcpoll(int32_t *count) {
    gonioctl::gcpoll(gonioctl::Out(count));
    return 0;
}

}  // extern "C"
