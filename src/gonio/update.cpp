// Angle update (telling the controller where the circles stand) and the
// reference read.
#include <cmath>
#include <cstdint>

#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "gonio/angles.h"
#include "gonioctl.h"
#include "link/framing.h"

namespace gonioctl {

namespace {

struct UpdateWork {
    float requested[4] = {};  // the host's angles reduced into 0..360
    char command[32] = {};
    char reply[132] = {};
    float parse[4] = {};
    char ref_reply[80] = {};
};

constinit UpdateWork g_update{};

// On the type with a chi circle the controller keeps the fraction of a degree
// it already holds: a requested fraction more than half a degree away from the
// current one moves the whole degrees by one towards it.
float adjust_fraction(float v, float cur) {
    const float fv = v - std::trunc(v);
    const float fc = cur - std::trunc(cur);
    if (std::fabs(fv - fc) > 0.5f) {
        if (fv > fc) {
            v = v + 1.0f;
        } else if (fv < fc) {
            v = v - 1.0f;
        }
        v = ANGLE_MOD(v, 360.0f);
    }
    return v;
}

// Sends the reference request and receives its reply.
void request_reference(int32_t &ier) {
    static constexpr char kRequest[] = "I\r";
    GCPUT1(kRequest, 2, ier);
    if (ier != 0) return;
    int32_t count = 0;
    GCGETW(g_update.ref_reply, length_of(g_update.ref_reply), 5.0f, count, ier);
}

// Rounds halves away from zero; false when the value has no 32-bit integer.
bool round_to_int(float x, int32_t &out) {
    const double r = std::round(static_cast<double>(x));
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
    out = static_cast<int32_t>(r);
    return true;
}

}  // namespace

void gcupdate(const float requested[4], float reported[4], int32_t &ier) {
    UpdateWork &w = g_update;
    ier = 0;
    if (g_state.link_open == 0) return;

    // An angle that is not a number would go out as a field of stars and leave
    // the controller's register unknown: refuse it before anything is sent.
    const int32_t n = circles_in_use(g_state);
    for (int32_t k = 0; k < n; ++k) {
        if (!std::isfinite(requested[k])) {
            ier = kInvalidArgument;
            return;
        }
    }

    for (int k = 0; k < 4; ++k) w.requested[k] = ANGLE_MOD(requested[k], 360.0f);

    gcreada(g_state.angles, ier);
    if (ier != 0) return;

    const bool with_chi = g_state.gonio_type == 3;
    for (int32_t axis = 1; axis <= 4; ++axis) {
        if (axis == 4 && !with_chi) continue;
        float v = w.requested[axis - 1];
        if (with_chi) v = adjust_fraction(v, ANGLE_MOD(g_state.angles[axis - 1], 360.0f));

        FieldWriter(w.command, length_of(w.command))
            .lit("U")
            .i(axis, 1)
            .lit(",")
            .f(v, 9, 3)
            .chr('\r');
        GCQUERY(w.command, length_of(w.command), w.reply, length_of(w.reply), ier);
        if (ier != 0) return;

        ListReader list(w.reply, numeric_part_length(w.reply, length_of(w.reply)));
        for (int k = 0; k < 4; ++k) list.real(w.parse[k]);
        if (list.status() != 0) {
            ier = ERR_IOSTAT(list.status());
            return;
        }
        for (int k = 0; k < 4; ++k) {
            const float x = ANGLE_MOD(w.parse[k], 360.0f);
            g_state.angles[k] = x;
            reported[k] = x;
        }
    }
    g_state.need_update = 0;
    ier = 0;
}

void gcreadref(int32_t &first, int32_t &second, int32_t &ier) {
    char *reply = g_update.ref_reply;
    const int32_t len = length_of(g_update.ref_reply);
    first = 0;
    ier = 0;

    request_reference(ier);
    if (ier != 0) return;
    // A CR far into the record means the reply started with something else
    // (a late record of an earlier command): ask once more.
    const int32_t p = SCANSET(reply, TRIMLEN(reply, len), "\r", 1);
    if (p > 30) {
        request_reference(ier);
        if (ier != 0) return;
    }
    if (p == 0) return;

    static constexpr char kBefore[] = " ,\t";
    static constexpr char kAfter[] = " ,\t\r";
    float value[2] = {0.0f, 0.0f};
    int32_t pos = 1;  // position (from 1) where the search for the next number starts
    for (int n = 0; n < 2; ++n) {
        const int32_t s = SKIPSET(reply + pos - 1, len - pos + 1, kBefore, 3);
        if (s == 0) return;
        const int32_t start = pos + s - 1;
        const int32_t e = SCANSET(reply + start - 1, len - start + 1, kAfter, 4);
        if (e <= 1) return;  // no separator, or the number would be empty
        const int32_t status = READREAL(reply + start - 1, e - 1, value[n]);
        if (status != 0) {
            ier = status;
            return;
        }
        pos = start + e - 1;
    }

    int32_t a = 0, b = 0;
    if (!round_to_int(value[0], a) || !round_to_int(value[1], b)) {
        ier = ERR_IOSTAT(kReadBad);
        return;
    }
    first = a;
    second = b;
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcupdate(const float *requested, float *reported, int32_t *ier) {
    float scratch[4];
    int32_t status = 0;
    if (requested == nullptr) {
        status = gonioctl::kInvalidArgument;
    } else {
        gonioctl::gcupdate(requested, reported != nullptr ? reported : scratch, status);
    }
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcreadref(int32_t *first, int32_t *second, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcreadref(gonioctl::Out(first), gonioctl::Out(second), status);
    if (ier != nullptr) *ier = status;
    return 0;
}

}  // extern "C"
