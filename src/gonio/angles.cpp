// Angle read-out: the angle request "U0,0.0", the decimal-point count learnt
// from the first good reply, the free-format read of the reply's numeric part,
// the status words, the stored angle set and the need-update flag.
#include "gonio/angles.h"

#include <cmath>
#include <cstdint>

#include "core/callbacks.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "gonioctl.h"
#include "link/framing.h"

namespace gonioctl {

namespace {

// Largest number of decimal fields an angle reply may carry: the parse area.
constexpr int32_t kParseValues = 16;
// Fewest decimal fields of a usable angle reply (the four circles).
constexpr int32_t kMinFields = 4;

struct AngleReadout {
    // Decimal points every angle reply must carry, learnt from the first good one.
    int32_t ifields = 0;
    char reply[80] = {};
    float parse[kParseValues] = {};
    int32_t word1 = 0;
    int32_t word2 = 0;
};

constinit AngleReadout g_readout{};

int32_t count_points(const char *text, int32_t len) {
    int32_t n = 0;
    for (int32_t i = 0; i < len; ++i) {
        if (text[i] == '.') ++n;
    }
    return n;
}

// Writes v to the caller's output unless the output is the stored angle set:
// the stored set changes only with angles that were really read.
void put_output(float *out, const float v[4]) {
    if (out == g_state.angles) return;
    for (int k = 0; k < 4; ++k) out[k] = v[k];
}

}  // namespace

// Length of the numeric part of a reply record: the characters before its
// first CR, or its significant length (at least one character) when it has none.
int32_t numeric_part_length(const char *reply, int32_t len) {
    const int32_t n = TRIMLEN(reply, len);
    const int32_t p = SCANSET(reply, n, "\r", 1);
    if (p > 0) return p - 1;
    return n > 1 ? n : 1;
}

float ANGLE_MOD(float x, float m) {
    float r = std::fmod(x, m);
    if (r < 0.0f) r = r + m;
    return r;
}

void gcset_needupdate(int32_t flag) {
    if (g_state.link_open == 0) return;
    g_state.need_update = flag;
}

void gc_needupdate(int32_t &flag) {
    if (g_state.link_open == 0) return;
    flag = g_state.need_update;
}

void gcreada(float angles[4], int32_t &ier) {
    AngleReadout &r = g_readout;
    const float zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    put_output(angles, zero);
    ier = 0;
    if (g_state.link_open == 0) return;

    static constexpr char kRequest[] = "U0,0.0\r";
    GCQUERY(kRequest, 7, r.reply, length_of(r.reply), ier);
    if (ier != 0) return;

    const int32_t points = count_points(r.reply, length_of(r.reply));
    if (r.ifields == 0) {
        r.ifields = points;
        if (tracing(2)) {
            TraceLine("GCREADA ifields = ") << points;
            TraceLine("").text(r.reply, length_of(r.reply));
        }
        // Fewer than the four circles cannot be a good reply; more than the
        // parse area holds cannot be read. Either way learn again next time.
        if (points < kMinFields || points > kParseValues) {
            r.ifields = 0;
            ier = GCERR(6);
            return;
        }
    }
    if (points != r.ifields) {
        ier = GCERR(6);
        return;
    }

    ListReader list(r.reply, numeric_part_length(r.reply, length_of(r.reply)));
    for (int32_t k = 0; k < r.ifields; ++k) list.real(r.parse[k]);
    list.integer(r.word1);
    list.integer(r.word2);

    float v[4] = {r.parse[0], r.parse[1], r.parse[2], r.parse[3]};
    if (list.status() != 0) {
        put_output(angles, v);
        ier = GCERR(11);
        return;
    }

    ier = GCSTATERR(r.word1, r.word2);

    for (int k = 0; k < 4; ++k) {
        v[k] = ANGLE_MOD(v[k], 360.0f);
        g_state.angles[k] = v[k];
    }
    put_output(angles, v);

    // Circles that all read within one degree of zero belong to a controller
    // whose angles were never set; one circle anywhere else shows they were.
    if (g_state.need_update != 0) {
        const int32_t n = circles_in_use(g_state);
        for (int32_t k = 0; k < n; ++k) {
            if (v[k] > 1.0f && v[k] < 359.0f) gcset_needupdate(0);
        }
    }
    notify_angles(angles);
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcreada(float *angles, int32_t *ier) {
    float scratch[4];
    int32_t status = 0;
    gonioctl::gcreada(angles != nullptr ? angles : scratch, status);
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcgetangles(float *angles) {
    if (angles != nullptr) gonioctl::MEMCOPY(angles, gonioctl::g_state.angles, 16);
    return 0;
}

GC_API int32_t gc_needupdate(int32_t *flag) {
    gonioctl::gc_needupdate(gonioctl::Out(flag));
    return 0;
}

GC_API int32_t gcset_needupdate(int32_t flag) {
    gonioctl::gcset_needupdate(flag);
    return 0;
}

GC_API int32_t gcgetstatus(void *, void *, int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

GC_API int32_t gcsysstatus(int32_t *words, int32_t *ier) {
    if (words != nullptr) {
        for (int k = 0; k < 11; ++k) words[k] = 0;
    }
    if (ier != nullptr) *ier = 0;
    return 0;
}

}  // extern "C"
