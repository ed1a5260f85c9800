// The life of the link: choosing the port, opening it (line settings, echo
// handshake, opening commands), closing it; and the small identity and mode
// entry points beside them.
#include "link/link.h"

#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "gonioctl.h"
#include "link/framing.h"
#include "link/sequencing.h"
#include "link/serial.h"

namespace gonioctl {

void gcsetport(int32_t port, int32_t &ier) {
    if (port < 1) port = 1;
    if (port > 4) port = 4;
    COMSELECT(port - 1, ier);
    if (tracing(1)) TraceLine("GCSETPORT: #,ier ") << port << ier;
}

void gcopen(int32_t &ier) {
    // A link already open is closed first, so its descriptor is not leaked
    // and the open flag always describes the port just opened.
    if (g_state.link_open != 0) {
        int32_t st = 0;
        COMCLOSE(st);
        g_state.link_open = 0;
    }

    COMOPEN(ier);
    g_state.link_open = ier == 0 ? 1 : 0;
    if (g_state.link_open == 0) return;

    static constexpr char kParity[] = "None";
    static constexpr char kFlow[] = "Xon/Xoff";
    COMSETUP(9600, 8, kParity, 4, 1.0f, kFlow, 8, ier);
    gcflush();

    // Make sure the controller does not echo; one more try after a flush.
    GCECHO(0, ier);
    if (ier != 0) {
        gcflush();
        GCECHO(0, ier);
    }

    GCPUT1("DL0\r", 4, ier);
    if (g_state.gonio_type == 4) g_state.need_update = 0;
    int32_t st = 0;
    GCPUT1("DT1 W-7\r", 8, st);
    // Only the opening of the port is reported; a silent controller shows
    // itself at the next exchange.
    ier = 0;
}

void GCECHO(int32_t desired, int32_t &status) {
    status = 0;
    if (g_state.link_open == 0) return;

    char reply[80];
    blank_fill(reply, 80);
    static constexpr char kProbe[8] = {'U', '0', ',', '0', '.', '0', '\r', ' '};
    GCQUERY(kProbe, 8, reply, 80, status);

    // The first record is the probe itself when the controller echoes.
    const bool echo = reply[0] == 'U' && reply[1] == '0' && reply[2] == ',' && reply[3] == '0';
    if (tracing(4)) {
        TraceLine("GCECHO >").text(kProbe, 6);
        TraceLine("GCECHO <").text(reply, 4);
        TraceLine("GCECHO =") << echo;
    }
    if (status != 0) return;

    int32_t count = 0;
    if (echo) GCGETW(reply, 80, 1.0f, count, status);  // the answer to the probe

    const bool want = desired != 0;
    if (echo != want) {
        // "W0" toggles the echo; while it is on, the command comes back.
        GCPUTS("W0\r", 3, status);
        if (echo) GCGETW(reply, 80, 1.0f, count, status);
    }
}

void gcclose(int32_t &ier) {
    ier = 0;
    if (g_state.link_open != 0) {
        COMCLOSE(ier);
        g_state.link_open = 0;
    }
}

int32_t gc_is_open() {
    return g_state.link_open != 0 ? 1 : 0;
}

int32_t gcset_goniometer(int32_t type) {
    const int32_t previous = g_state.gonio_type;
    if (type < kGonioMin) type = kGonioMin;
    if (type > kGonioMax) type = kGonioMax;
    g_state.gonio_type = type;
    return previous;
}

int32_t gcget_goniometer() {
    return g_state.gonio_type;
}

int32_t gcget_controller_type() {
    return 1;
}

void gcoverride(int32_t value) {
    g_state.override_value = g_state.link_open != 0 ? value : 0;
}

}  // namespace gonioctl

extern "C" {

GC_API int32_t gcsetport(int32_t port, int32_t *ier) {
    gonioctl::gcsetport(port, gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcopen(int32_t *ier) {
    gonioctl::gcopen(gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gcclose(int32_t *ier) {
    gonioctl::gcclose(gonioctl::Out(ier));
    return 0;
}

GC_API int32_t gc_is_open(void) {
    return gonioctl::gc_is_open();
}

GC_API int32_t gcset_goniometer(const int32_t *type) {
    // Without a type to store, the type stays and is returned as it is.
    if (type == nullptr) return gonioctl::gcget_goniometer();
    return gonioctl::gcset_goniometer(*type);
}

GC_API int32_t gcget_goniometer(void) {
    return gonioctl::gcget_goniometer();
}

GC_API int32_t gcget_controller_type(void) {
    return gonioctl::gcget_controller_type();
}

GC_API int32_t gcoverride(int32_t value) {
    gonioctl::gcoverride(value);
    return 0;
}

// Entry points kept for hosts that call them; they only report success.
GC_API int32_t gcsetman(int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

GC_API int32_t gcsetchi(const void *, int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

GC_API int32_t gcgetversion(const void *, int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

GC_API int32_t gcsetbypass(int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

GC_API int32_t gcresetbypass(int32_t *ier) {
    if (ier != nullptr) *ier = 0;
    return 0;
}

}  // extern "C"
