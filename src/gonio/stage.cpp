// Detector-distance stage: controller axis 5, present only when the host
// environment declares it (VESK$STAGE or VESK_STAGE). The controller counts
// the stage position and limits in units ten times finer than the host's.
#include "gonio/stage.h"

#include <cstdint>

#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"
#include "link/framing.h"
#include "link/sequencing.h"
#include "support/settings.h"

namespace gonioctl {

namespace {

constexpr float kScale = 10.0f;
constexpr float kMinSpeed = 0.001f;
constexpr float kMaxSpeed = 3600.0f;
constexpr float kReplyTimeout = 10.0f;

struct StageData {
    int32_t flag = -1;  // -1 not decided yet, then 0 (absent) or 1 (motorized)
    char setting[80] = {};
    char reply[32] = {};
    char update_reply[132] = {};
    char command[32] = {};
};

constinit StageData g_stage{};

// True when the link is open and a motorized stage is declared.
bool stage_reachable() {
    if (g_state.link_open == 0) return false;
    return stage_is_motorized() == 1;
}

// Receives one stage reply and reads its numeric part (template F8.3). An
// empty numeric part, or a record without a CR, is a read failure.
void read_stage_value(float &value, int32_t &ier) {
    int32_t count = 0;
    GCGETW(g_stage.reply, length_of(g_stage.reply), kReplyTimeout, count, ier);
    if (ier != 0) return;
    const int32_t p = SCANSET(g_stage.reply, length_of(g_stage.reply), "\r", 1);
    const int32_t n = p > 0 ? p - 1 : 0;
    if (n == 0) {
        ier = ERR_IOSTAT(kReadEnd);
        return;
    }
    const int32_t status = read_f(g_stage.reply, n < 8 ? n : 8, 3, value);
    ier = status == 0 ? 0 : ERR_IOSTAT(status);
}

// Sends a four-character stage request ("P5 \r", "B5 \r") and reads the n
// values the controller answers with, one reply each; stops at the first
// failure.
void ask_stage(const char *request, float *values, int32_t n, int32_t &ier) {
    GCPUT1(request, 4, ier);
    for (int32_t k = 0; k < n && ier == 0; ++k) read_stage_value(values[k], ier);
}

// True when v can be written in a Fw.d field. A position or limit written as
// a field of stars tells the controller nothing it can use (and a drive would
// still be started), so such a value is refused before anything is sent.
bool fits_field(float v, int32_t w, int32_t d) {
    char field[16];
    write_f(field, w, d, v);
    return field[0] != '*';
}

}  // namespace

int32_t stage_is_motorized() {
    StageData &s = g_stage;
    if (s.flag == -1) {
        s.flag = 0;
        int32_t status = -1;
        ENV_TRANSLATE("VESK$STAGE", 10, s.setting, length_of(s.setting), status);
        if (status == 0 && TRIMLEN(s.setting, length_of(s.setting)) > 0) s.flag = 1;
    }
    return s.flag;
}

void gcgetdistance(float &distance, int32_t &ier) {
    ier = -1;
    distance = 0.0f;
    if (!stage_reachable()) return;
    ier = 0;

    static constexpr char kRequest[] = "P5 \r";
    float value = 0.0f;
    ask_stage(kRequest, &value, 1, ier);
    if (ier != 0) return;
    distance = value / kScale;
}

void gcsetdistance(float distance, float speed, int32_t &ier) {
    ier = 0;
    if (!stage_reachable()) return;

    const float position = distance * kScale;
    if (!fits_field(position, 8, 2)) {
        ier = kInvalidArgument;
        return;
    }
    float s = speed;
    if (s < kMinSpeed) s = kMinSpeed;
    if (s > kMaxSpeed) s = kMaxSpeed;
    // A speed that is not a number is out of every bound: take the lowest.
    if (!(s >= kMinSpeed)) s = kMinSpeed;

    FieldWriter w(g_stage.command, length_of(g_stage.command));
    w.lit("S").i(5, 1).tr(1).f(s, 10, 5).lit(" F").i(5, 1).lit(" ").f(position, 8, 2);
    w.lit("D").chr('\r');
    GCPUTS(g_stage.command, 27, ier);
}

void gcgetdistlimits(float &low, float &high, int32_t &ier) {
    ier = 0;
    low = 0.0f;
    high = 0.0f;
    if (!stage_reachable()) return;

    static constexpr char kRequest[] = "B5 \r";
    float values[2] = {};  // low, high
    ask_stage(kRequest, values, 2, ier);
    if (ier != 0) return;
    high = values[1] / kScale;
    low = values[0] / kScale;
}

void gcsetdistlimits(float low, float high, int32_t &ier) {
    ier = 0;
    if (!stage_reachable()) return;
    if (!fits_field(low * kScale, 8, 2) || !fits_field(high * kScale, 8, 2)) {
        ier = kInvalidArgument;
        return;
    }

    FieldWriter w(g_stage.command, length_of(g_stage.command));
    w.lit("B").i(5, 1).lit(" ").f(low * kScale, 8, 2).f(high * kScale, 8, 2).chr('\r');
    GCPUT1(g_stage.command, 20, ier);
}

void gcupdate_dist(float distance, float &reported, int32_t &ier) {
    ier = 0;
    if (!stage_reachable()) return;
    if (!fits_field(distance * kScale, 9, 3)) {
        ier = kInvalidArgument;
        return;
    }

    char text[16];
    FieldWriter w(text, length_of(text));
    w.lit("U").i(5, 1).lit(",").f(distance * kScale, 9, 3);
    const int32_t n = TRIMLEN(text, length_of(text));
    FieldWriter(g_stage.command, length_of(g_stage.command)).a(text, n).chr('\r');
    GCQUERY(g_stage.command, length_of(g_stage.command), g_stage.update_reply,
            length_of(g_stage.update_reply), ier);
    if (ier != 0) return;
    gcgetdistance(reported, ier);
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gc_stage_is_motorized(void) {
    return gonioctl::stage_is_motorized();
}

GC_API int32_t gcgetdistance(float *distance, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcgetdistance(gonioctl::Out(distance), status);
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcsetdistance(float distance, float speed, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcsetdistance(distance, speed, status);
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcgetdistlimits(float *low, float *high, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcgetdistlimits(gonioctl::Out(low), gonioctl::Out(high), status);
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcsetdistlimits(float low, float high, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcsetdistlimits(low, high, status);
    if (ier != nullptr) *ier = status;
    return 0;
}

GC_API int32_t gcupdate_dist(float distance, float *reported, int32_t *ier) {
    int32_t status = 0;
    gonioctl::gcupdate_dist(distance, gonioctl::Out(reported), status);
    if (ier != nullptr) *ier = status;
    return 0;
}

}  // extern "C"
