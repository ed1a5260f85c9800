// Drive command flags: the closing line of a drive request, built around its
// scan command ("D" or an oscillation command) from the flag word, with the
// lead and trail delays as controller waits.
#include "motion/flags.h"

#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "gonioctl.h"

namespace gonioctl {

constinit DriveFlagState g_flags{};

namespace {

// Work texts, rewritten before every use.
constinit char g_delay_text[16] = {};
constinit char g_rewind_text[120] = {};

// The buffer counts as empty while its first character is a blank.
bool buffer_empty(const char *buffer, int32_t buflen) {
    return buflen > 0 && buffer[0] == ' ';
}

// Starts the empty buffer with the text, or appends a blank and the text.
void start_or_append(std::string_view text, char *buffer, int32_t buflen) {
    if (buffer_empty(buffer, buflen)) {
        FieldWriter(buffer, buflen).lit(text);
    } else {
        char joined[32];
        FieldWriter w(joined, length_of(joined));
        w.lit(" ").lit(text);
        CMD_APPEND(joined, w.pos(), buffer, buflen);
    }
}

// One delay as the field (TR1,I5), appended to the buffer. A delay that does
// not fit five characters goes out as "*****".
void append_delay(int32_t delay, char *buffer, int32_t buflen) {
    FieldWriter(g_delay_text, length_of(g_delay_text)).tr(1).i(delay, 5);
    CMD_APPEND(g_delay_text, length_of(g_delay_text), buffer, buflen);
}

void trace_buffer(std::string_view label, const char *text, int32_t len) {
    if (tracing(5)) TraceLine(label).text(text, TRIMLEN(text, len));
}

}  // namespace

void ADDFLAGS(const char *scan, int32_t scanlen, int32_t flags, int32_t circle, float delta,
              char *buffer, int32_t buflen, int32_t &ier) {
    ier = 0;
    if (buflen <= 0) return;
    if (tracing(4)) TraceLine("ADDFLAGS:  ") << flags << circle << static_cast<double>(delta);
    const int32_t type = g_state.gonio_type;

    if (flags & kFlagCounter) {
        FieldWriter(buffer, buflen).lit("I -1");
    } else {
        blank_fill(buffer, buflen);
    }
    trace_buffer("ADDFLAGS1:  ", buffer, buflen);

    if (flags & kFlagGate) {
        start_or_append("W+7 WA", buffer, buflen);
        append_delay(g_flags.lead_delay, buffer, buflen);
    }
    trace_buffer("ADDFLAGS2:  ", buffer, buflen);

    if (flags & kFlagAttenuator) {
        start_or_append("W+3,W+4", buffer, buflen);
    } else if (flags & kFlagShutterOn) {
        start_or_append("W+3,W+1", buffer, buflen);
    }
    trace_buffer("ADDFLAGS3:  ", buffer, buflen);

    // The whole scan command goes in, leading blanks included: after earlier
    // texts it follows one separating blank in addition to its own.
    if (buffer_empty(buffer, buflen)) {
        FieldWriter(buffer, buflen).a(scan, scanlen);
    } else {
        const int32_t used = TRIMLEN(buffer, buflen);
        if (used < buflen) FieldWriter(buffer + used, buflen - used).lit(" ").a(scan, scanlen);
    }
    trace_buffer("ADDFLAGS4:  ", buffer, buflen);

    if (flags & kFlagShutterOff) CMD_APPEND(" W-1", 4, buffer, buflen);
    if (flags & kFlagGate) {
        CMD_APPEND(" WA", 3, buffer, buflen);
        append_delay(g_flags.trail_delay, buffer, buflen);
        CMD_APPEND(" W-7", 4, buffer, buflen);
    }
    trace_buffer("ADDFLAGS5:  ", buffer, buflen);

    if (flags & kFlagRewind) {
        // Back by the scan distance and half a degree more, then forward by
        // the half degree: the circle ends where the scan began, reached in
        // the scan direction.
        const float half = delta >= 0.0f ? 0.5f : -0.5f;
        const int32_t speed = circle == 1 ? 150 : (type == 3 ? 300 : 600);
        const int32_t w = type == 4 ? 9 : 8;
        const int32_t d = type == 4 ? 4 : 3;
        const float back = -(delta + half);
        FieldWriter(g_rewind_text, length_of(g_rewind_text))
            .lit(" S")
            .i(circle, 1)
            .tr(1)
            .i(speed, 4)
            .lit(" A")
            .i(circle, 1)
            .tr(1)
            .f(back, w, d)
            .lit(" D A")
            .i(circle, 1)
            .tr(1)
            .f(half, w, d)
            .lit(" D");
        trace_buffer("ADDFLAGS6:  ", g_rewind_text, length_of(g_rewind_text));
        CMD_APPEND(g_rewind_text, length_of(g_rewind_text), buffer, buflen);
        trace_buffer("ADDFLAGS7:  ", g_rewind_text, length_of(g_rewind_text));
    }

    ier = 0;
    if (TRIMLEN(buffer, buflen) >= buflen) ier = GCERR(32);
}

void gcaddflags_get_delay(int32_t &lead, int32_t &trail) {
    lead = g_flags.lead_delay;
    trail = g_flags.trail_delay;
}

void gcaddflags_set_delay(int32_t lead, int32_t trail) {
    g_flags.lead_delay = lead;
    g_flags.trail_delay = trail;
}

void gcaddflags_get_addtime(int32_t &value) {
    value = g_flags.add_time;
}

void gcaddflags_set_addtime(int32_t value) {
    g_flags.add_time = value;
}

}  // namespace gonioctl

extern "C" {

int32_t gcaddflags_get_delay(int32_t *lead, int32_t *trail) {
    gonioctl::gcaddflags_get_delay(gonioctl::Out(lead), gonioctl::Out(trail));
    return 0;
}

// No status argument: a missing input leaves its delay as it was.
int32_t gcaddflags_set_delay(const int32_t *lead, const int32_t *trail) {
    gonioctl::gcaddflags_set_delay(lead ? *lead : gonioctl::g_flags.lead_delay,
                                   trail ? *trail : gonioctl::g_flags.trail_delay);
    return 0;
}

int32_t gcaddflags_get_addtime(int32_t *value) {
    gonioctl::gcaddflags_get_addtime(gonioctl::Out(value));
    return 0;
}

int32_t gcaddflags_set_addtime(const int32_t *value) {
    if (value) gonioctl::gcaddflags_set_addtime(*value);
    return 0;
}

}  // extern "C"
