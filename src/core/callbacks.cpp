// The nine host callback slots, their guarded callers, and the two exported
// entry points that register the slots and wait on them.
#include "core/callbacks.h"

#include <cstdlib>

#include "core/state.h"

namespace gonioctl {

constinit CallbackSlots g_callbacks{};

void notify_angles(const float *angles) {
    if (g_callbacks.angles != nullptr) g_callbacks.angles(angles);
}

void notify_motion(int32_t mask) {
    if (g_callbacks.motion != nullptr) g_callbacks.motion(&mask);
}

void notify_shutter(int32_t state) {
    if (g_callbacks.shutter != nullptr) g_callbacks.shutter(&state);
}

void notify_attenuator(int32_t state) {
    if (g_callbacks.attenuator != nullptr) g_callbacks.attenuator(&state);
}

int32_t ask_interrupt() {
    return g_callbacks.interrupt != nullptr ? g_callbacks.interrupt() : 0;
}

int32_t ask_idle() {
    return g_callbacks.idle != nullptr ? g_callbacks.idle() : 0;
}

void set_interrupt(int32_t state) {
    if (g_callbacks.set_interrupt != nullptr) g_callbacks.set_interrupt(&state);
}

void notify_trace(const char *text, int32_t len) {
    if (g_callbacks.trace != nullptr) g_callbacks.trace(text, len);
}

namespace {

// Decimal value in the manner of atol: leading white space, an optional
// sign, digits up to the first other character; 0 without digits. Values
// beyond the 32-bit range are held at its ends.
int32_t decimal_value(const char *s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        if (v < 10000000000LL) v = v * 10 + (*s - '0');
    }
    if (neg) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return static_cast<int32_t>(v);
}

// The trace level used by gc_callbacks alone: read whenever it still holds
// -1, so a level of -1 from the environment is read again next time.
int32_t registration_trace_level() {
    if (g_link.reg_trace_level == -1) {
        const char *v = std::getenv("KORU$DBGLEVEL");
        if (v == nullptr) v = std::getenv("KORU_DBGLEVEL");
        g_link.reg_trace_level = v != nullptr ? decimal_value(v) : 1;
    }
    return g_link.reg_trace_level;
}

}  // namespace

int32_t gc_callbacks(gc_angles_cb angles, gc_motion_cb motion, gc_shutter_cb shutter,
                     gc_attenuator_cb attenuator, gc_spare_cb spare, gc_interrupt_cb interrupt,
                     gc_idle_cb idle, gc_set_interrupt_cb set_interrupt_cb, gc_trace_cb trace) {
    g_callbacks = CallbackSlots{angles,    motion, shutter,          attenuator, spare,
                                interrupt, idle,   set_interrupt_cb, trace};
    if (registration_trace_level() >= 7) {
        static constexpr char kText[] = "GC_CALLBACKS: ...";
        notify_trace(kText, 17);
    }
    return 0;
}

int32_t gcwait_anykey() {
    // With neither slot registered nothing could ever end the wait.
    if (g_callbacks.idle == nullptr && g_callbacks.interrupt == nullptr) return 0;
    for (;;) {
        if (ask_idle() < 0) return 0;
        if (ask_interrupt() != 0) return 0;
    }
}

}  // namespace gonioctl

extern "C" int32_t gc_callbacks(gc_angles_cb angles, gc_motion_cb motion, gc_shutter_cb shutter,
                                gc_attenuator_cb attenuator, gc_spare_cb spare,
                                gc_interrupt_cb interrupt, gc_idle_cb idle,
                                gc_set_interrupt_cb set_interrupt, gc_trace_cb trace) {
    return gonioctl::gc_callbacks(angles, motion, shutter, attenuator, spare, interrupt, idle,
                                  set_interrupt, trace);
}

extern "C" int32_t gcwait_anykey(void) {
    return gonioctl::gcwait_anykey();
}
