// Shutter and attenuator. The shutter is output line 1 and the attenuator
// line 4; line 3 is switched on before either opens and, in a full close,
// switched off 10 ms after the shutter has shut. The library only sends the
// commands: a shutter that does not follow shows up later in the status
// words of an angle reply.
#include "periph/shutter.h"

#include <string_view>

#include "core/callbacks.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "link/framing.h"
#include "link/sequencing.h"

namespace gonioctl {

constinit ShutterState g_shutter{};

namespace {

constexpr int32_t kBufLen = 32;

// Command buffers, blank-filled before each use.
constinit char g_shutter_cmd[kBufLen] = {};
constinit char g_atten_cmd[kBufLen] = {};

// Closing modes: 0 is the full close, -9999 shuts line 1 alone.
bool is_closing(int32_t mode) {
    return mode == 0 || mode == -9999;
}

std::string_view shutter_text(int32_t mode) {
    if (mode == 0) return "W-1,WA 10,W-3\r";
    if (mode == -9999) return "W-1\r";
    if (mode == 9999) return "W+3\r";
    return "W+3,W+1\r";
}

// The attenuated opening switches line 4 on where the shutter's switches
// line 1; the special modes send the same as for the shutter.
std::string_view attenuator_text(int32_t mode) {
    if (is_closing(mode) || mode == 9999) return shutter_text(mode);
    return "W+3,W+4\r";
}

void append(std::string_view text, char *buf) {
    CMD_APPEND(text.data(), static_cast<int32_t>(text.size()), buf, kBufLen);
}

// Writes the ('WA',I6,',') prefix; a delay wider than six characters is
// written as six '*', which the formatter does by itself.
void write_delay_prefix(char *buf, int32_t delay) {
    FieldWriter(buf, kBufLen).lit("WA").i(delay, 6).lit(",");
}

// Sends the mode's command after whatever the shutter buffer already holds
// and records the new shutter state.
void shutter_send(int32_t mode, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;
    append(shutter_text(mode), g_shutter_cmd);
    GCPUT1(g_shutter_cmd, kBufLen, ier);
    if (!is_closing(mode)) {
        g_shutter.open_time = seconds_of_day();
        notify_shutter(1);
        g_shutter.open = 1;
    } else {
        notify_shutter(0);
        notify_attenuator(0);
        g_shutter.open = 0;
        set_attenuator_flag(0);
    }
}

}  // namespace

void set_attenuator_flag(int32_t value) {
    if (g_state.link_open != 0) g_shutter.attenuator = value;
}

void gcshutter(int32_t mode, int32_t &ier) {
    blank_fill(g_shutter_cmd, kBufLen);
    g_shutter.delay_ms = 0;
    shutter_send(mode, ier);
}

void gcshutter_delayed(int32_t mode, int32_t delay, int32_t &ier) {
    write_delay_prefix(g_shutter_cmd, delay);
    g_shutter.delay_ms = delay;
    shutter_send(mode, ier);
}

void gcshut_status(int32_t &state, float &seconds) {
    state = 0;
    seconds = 0.0f;
    if (g_state.link_open == 0) return;
    state = g_shutter.open;
    float t = elapsed_since(g_shutter.open_time) - static_cast<float>(g_shutter.delay_ms) * 0.001f;
    seconds = t < 0.0f ? 0.0f : t;
}

void gcinat(int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;
    gcshutter(1, ier);
    if (ier != 0) return;
    GCPUTS("W+4\r", 4, ier);
    if (ier != 0) return;
    notify_attenuator(1);
    g_shutter.attenuator = 1;
}

void gcattn_status(int32_t &state) {
    state = g_state.link_open != 0 ? g_shutter.attenuator : 0;
}

void gcatten_delayed(int32_t mode, int32_t delay, int32_t &ier) {
    write_delay_prefix(g_atten_cmd, delay);
    ier = 0;
    append(attenuator_text(mode), g_atten_cmd);
    GCPUT1(g_atten_cmd, kBufLen, ier);
    const int32_t state = is_closing(mode) ? 0 : 1;
    notify_shutter(state);
    notify_attenuator(state);
}

}  // namespace gonioctl

// ---- Exported entry points ------------------------------------------------

extern "C" {

GC_API int32_t gcshutter(int32_t mode, int32_t *ier) {
    gonioctl::gcshutter(mode, gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcshutter_delayed(int32_t mode, int32_t delay, int32_t *ier) {
    gonioctl::gcshutter_delayed(mode, delay, gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcshut_status(int32_t *state, float *seconds) {
    gonioctl::gcshut_status(gonioctl::Out(state), gonioctl::Out(seconds));
    return 0;
}

GC_API int32_t gcinat(int32_t *ier) {
    gonioctl::gcinat(gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcattn_status(int32_t *state) {
    gonioctl::gcattn_status(gonioctl::Out(state));
    return 0;
}

GC_API int32_t gcatten_delayed(int32_t mode, int32_t delay, int32_t *ier) {
    gonioctl::gcatten_delayed(mode, delay, gonioctl::Out(ier));
    return 0;
}

}  // extern "C"
