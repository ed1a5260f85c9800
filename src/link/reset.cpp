// Controller reset. A reset sends a single control character (BEL for the
// hard reset, ACK for the soft one) and waits for the controller to answer
// with the same character, up to four times. Afterwards the library's view
// of the controller is brought back in step: no readings outstanding, no
// override, the angles read afresh and, after a hard reset, the shutter
// closed.
#include "link/reset.h"

#include "core/callbacks.h"
#include "core/errors.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "gonio/angles.h"
#include "link/framing.h"
#include "link/sequencing.h"
#include "link/serial.h"
#include "periph/shutter.h"

namespace gonioctl {

constinit float g_reset_answer_timeout = 5.0f;

namespace {

constexpr int32_t kAttempts = 4;
constexpr int32_t kReplyLen = 132;

constinit char g_reply[kReplyLen] = {};
constinit float g_scratch_angles[4] = {};

// One attempt: the reset character twice with the input flushed between,
// then the wait for the answer with the host's interrupt state held at 0 so
// that a pending interruption cannot cut the wait short. True when the
// controller answered with the reset character.
bool attempt(char c) {
    int32_t scratch = 0;
    GCPUTS(&c, 1, scratch);
    gcflush();
    GCPUTS(&c, 1, scratch);

    const int32_t noted = ask_interrupt();
    set_interrupt(0);
    int32_t count = 0;
    int32_t status = 0;
    GCGETW(g_reply, kReplyLen, g_reset_answer_timeout, count, status);
    // The answer is the character itself; how the reception ended (code 14
    // for the signal character, code 10 for silence) does not matter.
    set_interrupt(noted);

    const char xon = kXON;
    GCPUTS(&xon, 1, scratch);
    return (g_reply[0] & 127) == c;
}

void reset_with(char c, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;

    bool answered = false;
    for (int32_t n = 1; n <= kAttempts && !answered; ++n) answered = attempt(c);
    if (!answered) {
        ier = GCERR(15);
        return;
    }

    GCSLEEP(0.25f);
    gcflush();
    g_state.readings_outstanding = 0;
    g_state.override_value = 0;

    gcreada(g_scratch_angles, ier);
    if (ier != 0) return;

    notify_motion(0);
    if (c == kBEL) {
        int32_t scratch = 0;
        gcshutter(0, scratch);
    }
}

}  // namespace

void gcreset(int32_t &ier) {
    reset_with(kBEL, ier);
}

void gcsoftreset(int32_t &ier) {
    reset_with(kACK, ier);
}

}  // namespace gonioctl

// ---- Exported entry points ------------------------------------------------

extern "C" {

GC_API int32_t gcreset(int32_t *ier) {
    gonioctl::gcreset(gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcsoftreset(int32_t *ier) {
    gonioctl::gcsoftreset(gonioctl::Out(ier));
    return 0;
}

}  // extern "C"
