// Detector signal (output line 7) and the timed exposure sequences.
//
// A sequence is written into an 80-character blank-filled buffer followed by
// a carriage return and handed to GCPUT1 as one 81-character line: GCPUT1
// sends up to the last non-blank character, and that is the CR, so the
// controller receives the blanks that fill the buffer as well. The controller
// carries out the waits itself; nothing here reads a reply or touches the
// shutter and attenuator state kept by the shutter routines, even though the
// sequences open and close the shutter.
#include "periph/detector.h"

#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "gonioctl.h"
#include "link/framing.h"
#include "link/sequencing.h"

namespace gonioctl {

namespace {

// One buffer per sequence entry point: 80 characters of sequence and the CR.
struct SequenceBuffers {
    char shutter[kSequenceLen + 1] = {};
    char gate[kSequenceLen + 1] = {};
    char attenuated[kSequenceLen + 1] = {};
};
constinit SequenceBuffers g_seq{};

// Width of a wait time in a sequence; a time that does not fit is sent as
// nine '*' and left for the controller to refuse.
constexpr int32_t kTimeWidth = 9;

void send_sequence(char *buf) {
    buf[kSequenceLen] = '\r';
    int32_t status = 0;  // GCPUT1 reports nothing worth passing on here
    GCPUT1(buf, kSequenceLen + 1, status);
}

// Switches the detector signal with a 4-character line ("W+7" or "W-7"
// and the CR) while the link is open.
void switch_signal(const char *line, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;
    GCPUTS(line, 4, ier);
}

}  // namespace

void gcenable_det(int32_t &ier) {
    switch_signal("W+7\r", ier);
}

void gcdisable_det(int32_t &ier) {
    switch_signal("W-7\r", ier);
}

void gcdettype() {
    static constexpr char kDetType[] = "DT1 W-7\r";
    int32_t status = 0;
    GCPUT1(kDetType, 8, status);
}

void gcenwaitsh_det(int32_t lead, int32_t exposure, int32_t trail) {
    if (g_state.link_open == 0) return;
    FieldWriter(g_seq.shutter, kSequenceLen)
        .lit("W+7,WA")
        .i(lead, kTimeWidth)
        .lit(",W+3,W+1,WA")
        .i(exposure, kTimeWidth)
        .lit(",W-1, WA")
        .i(trail, kTimeWidth)
        .lit(",W-7");
    send_sequence(g_seq.shutter);
}

void gcenwaitdis_det(int32_t gate) {
    if (g_state.link_open == 0) return;
    FieldWriter(g_seq.gate, kSequenceLen).lit("W+7, WA").i(gate, kTimeWidth).lit(", W-7");
    send_sequence(g_seq.gate);
}

void gcenwaitat_det(int32_t lead, int32_t exposure, int32_t trail) {
    // No link test of its own: with the link closed GCPUT1 sends nothing.
    FieldWriter(g_seq.attenuated, kSequenceLen)
        .lit("W+7, WA")
        .i(lead, kTimeWidth)
        .lit(",W+3,W+4,WA")
        .i(exposure, kTimeWidth)
        .lit(",W-1, WA")
        .i(trail, kTimeWidth)
        .lit(",W-7");
    send_sequence(g_seq.attenuated);
}

}  // namespace gonioctl

extern "C" {

int32_t gcenable_det(int32_t *ier) {
    gonioctl::gcenable_det(gonioctl::Out(ier));
    return 0;
}

int32_t gcdisable_det(int32_t *ier) {
    gonioctl::gcdisable_det(gonioctl::Out(ier));
    return 0;
}

// Both arguments are accepted for the hosts that pass them; the line sent
// does not depend on them.
int32_t gcdettype(const int32_t * /*unused1*/, const int32_t * /*unused2*/) {
    gonioctl::gcdettype();
    return 0;
}

int32_t gcenwaitsh_det(int32_t lead, int32_t exposure, int32_t trail) {
    gonioctl::gcenwaitsh_det(lead, exposure, trail);
    return 0;
}

int32_t gcenwaitdis_det(int32_t gate) {
    gonioctl::gcenwaitdis_det(gate);
    return 0;
}

int32_t gcenwaitat_det(int32_t lead, int32_t exposure, int32_t trail) {
    gonioctl::gcenwaitat_det(lead, exposure, trail);
    return 0;
}

}  // extern "C"
