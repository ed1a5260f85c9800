// Homing, encoder set and manual mode: the commands that act on the circles
// outside a drive request.
#include "motion/homing.h"

#include "core/callbacks.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "gonio/angles.h"
#include "gonio/stage.h"
#include "link/framing.h"
#include "link/reset.h"
#include "link/sequencing.h"
#include "motion/fields.h"

namespace gonioctl {

namespace {

constexpr int32_t kCommandLen = 80;
constexpr int32_t kReplyLen = 132;
constexpr int32_t kManualLen = 32;

constinit char g_home_cmd[kCommandLen] = {};
constinit char g_home_reply[kReplyLen] = {};
constinit char g_encoder_cmd[kCommandLen] = {};
constinit char g_manual_cmd[kManualLen] = {};
// The need-update flag as gchome_axis last learnt it; kept between calls
// because it is only refreshed while the link is open.
constinit int32_t g_home_needupdate = 0;

// True when the field holds nothing but commas: an empty list item.
bool only_commas(const char *text, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (text[i] != ',') return false;
    return true;
}

// Status of the homing reply: its last field (after the last blank, up to
// the CR) read as an integer. An empty field gives -1, a field that is not
// an integer the status number of the failed read; bit 128 of the homing
// status means the controller refused to drive the circle.
int32_t homing_status(const char *reply, int32_t count) {
    const int32_t last = count - 1;  // position of the last character before the CR
    int32_t start = 1;
    for (int32_t i = last; i >= 1; --i) {
        if (reply[i - 1] == ' ') {
            start = i + 1;
            break;
        }
    }
    const int32_t len = last - start + 1;
    // A lone comma reads as an empty item that would leave the status
    // unset; it is no more a status than an empty field is.
    if (len <= 0 || only_commas(reply + start - 1, len)) return -1;

    int32_t status = 0;
    ListReader reader(reply + start - 1, len);
    const int32_t read = reader.integer(status);
    if (read < 0) return -1;
    if (read > 0) return ERR_IOSTAT(read);
    return (status & 128) != 0 ? GCERR(23) : 0;
}

float clamp_speed(float v) {
    // A speed that is not a number is taken as the slowest.
    if (!(v >= 0.001f)) return 0.001f;
    return v > 3600.0f ? 3600.0f : v;
}

int32_t clamp_param(int32_t p) {
    return p < 1 ? 1 : (p > 32767 ? 32767 : p);
}

// Sends the manual-mode speed of one axis: ('S',I1,TR1,F10.5).
void send_manual_speed(int32_t axis, float speed, int32_t &ier) {
    FieldWriter(g_manual_cmd, kManualLen).lit("S").i(axis, 1).tr(1).f(clamp_speed(speed), 10, 5);
    ier = 0;
    GCPUTS(g_manual_cmd, kManualLen, ier);
}

}  // namespace

void gchome_axis(int32_t circle, float speed, int32_t &ier) {
    ier = 0;
    gc_needupdate(g_home_needupdate);
    if (g_home_needupdate != 0) {
        ier = GCERR(7);
        return;
    }

    // A circle or speed that its field cannot hold would go out as
    // asterisks: nothing is sent.
    if (!fits_i(circle, 1) || !fits_f(speed, 6, 1)) {
        ier = kInvalidArgument;
        return;
    }
    FieldWriter(g_home_cmd, kCommandLen).lit("HM").i(circle, 1).lit(",").f(speed, 6, 1).chr('\r');
    GCPUT1(g_home_cmd, kCommandLen, ier);
    if (ier != 0) return;

    FieldWriter(g_home_cmd, kCommandLen).lit("U0,0.0\r");
    GCPUT1(g_home_cmd, kCommandLen, ier);
    if (ier != 0) return;

    // The slower the homing, the longer it may take; a speed of 0 or below
    // gives no time-out at all (GCGETW waits without limit for <= 0 and
    // never times out on an infinite value).
    const float timeout = 12000.0f / speed + 15.0f;
    int32_t count = 0;
    GCGETW(g_home_reply, kReplyLen, timeout, count, ier);
    if (ier != 0) return;

    if (ask_interrupt() != 0) {
        // The circle stopped somewhere on its way home: its angle is lost.
        gcreset(ier);
        ier = GCERR(36);
        gcset_needupdate(1);
        return;
    }

    ier = homing_status(g_home_reply, count);
}

void gcencoder_set(int32_t circle, float value, int32_t &ier) {
    ier = 0;
    // A value the field cannot hold (below -99.9999 or above 999.9999, or
    // not a number) would set the encoder to nothing the host meant.
    if (!fits_i(circle, 1) || !fits_f(value, 8, 4)) {
        ier = kInvalidArgument;
        return;
    }
    FieldWriter(g_encoder_cmd, kCommandLen)
        .lit("EZ")
        .i(circle, 1)
        .lit(",")
        .f(value, 8, 4)
        .chr('\r');
    GCPUT1(g_encoder_cmd, kCommandLen, ier);
}

void gcmanual_mode(const int32_t params[2], const float speeds[5], int32_t &ier) {
    ier = 0;
    // Every axis gets its speed even when one transmission fails; ier keeps
    // the result of the last.
    for (int32_t axis = 1; axis <= 4; ++axis) send_manual_speed(axis, speeds[axis - 1], ier);
    const bool stage = stage_is_motorized() != 0;
    if (stage) send_manual_speed(5, speeds[4], ier);

    FieldWriter writer(g_manual_cmd, kManualLen);
    writer.lit("M").i(clamp_param(params[0]), 5);
    if (stage) writer.i(clamp_param(params[1]), 5);
    ier = 0;
    GCPUTS(g_manual_cmd, kManualLen, ier);
}

}  // namespace gonioctl

// ---- Exported entry points ------------------------------------------------

extern "C" {

GC_API int32_t gchome_axis(int32_t circle, float speed, int32_t *ier) {
    gonioctl::gchome_axis(circle, speed, gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcencoder_set(int32_t circle, float value, int32_t *ier) {
    gonioctl::gcencoder_set(circle, value, gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcmanual_mode(const int32_t *params, const float *speeds, int32_t *ier) {
    gonioctl::Out<int32_t> out_ier(ier);
    int32_t &status = out_ier;
    if (params == nullptr || speeds == nullptr) {
        status = gonioctl::kInvalidArgument;
        return 0;
    }
    gonioctl::gcmanual_mode(params, speeds, status);
    return 0;
}

}  // extern "C"
