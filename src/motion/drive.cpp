// Drive request: turns target angles into speed-and-move, oscillation,
// rotation and counting commands, with the closing line that waits for the
// motion, switches the shutter and detector lines and asks for the angles.
#include "motion/drive.h"

#include <cmath>

#include "core/callbacks.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "gonio/angles.h"
#include "gonio/collision.h"
#include "link/sequencing.h"
#include "motion/drive_state.h"
#include "motion/fields.h"
#include "motion/flags.h"

namespace gonioctl {

constinit DriveState g_drive{};

namespace {

constexpr int32_t kPhi = 2;    // index of circle 3
constexpr int32_t kChi = 3;    // index of circle 4
constexpr int32_t kOmega = 1;  // index of circle 2
constexpr float kNoSpeed = 1.0E-32f;

// What the controller appends to every drive: report the angles.
constexpr char kAngleRequest[] = " U0,0.\r";
constexpr int32_t kAngleRequestLen = 7;

// Longest command line that GCPUTS sends without cutting it.
constexpr int32_t kCommandLineLen = 32;

// Distance below which a circle is taken to stand at its target.
float move_threshold(int32_t type) {
    return type == 4 ? 0.001f : 0.01f;
}

// Signed distance from the current angle to the target measured so that the
// move never passes through the cut reference.
float signed_distance(int32_t k, float current) {
    const float ref = g_drive.cut_refs[k];
    return ANGLE_MOD(g_drive.targets[k] - ref, 360.0f) - ANGLE_MOD(current - ref, 360.0f);
}

// Writes one fixed-point field into the number text and strips its leading
// blanks; returns its significant length.
int32_t left_justified(double v, int32_t w, int32_t d) {
    FieldWriter(g_drive.number_text, kNumberTextLen).f(v, w, d);
    LEFTJUST(g_drive.number_text, kNumberTextLen);
    return TRIMLEN(g_drive.number_text, kNumberTextLen);
}

void send_single(int32_t &ier) {
    GCPUTS(g_drive.single_command, kSingleCommandLen, ier);
}

// ('S',I1,TR1,F10.5) for phi, then CR.
void send_phi_speed(int32_t &ier) {
    FieldWriter(g_drive.single_command, kSingleCommandLen)
        .lit("S")
        .i(3, 1)
        .tr(1)
        .f(g_drive.speeds[kPhi], 10, 5)
        .chr('\r');
    send_single(ier);
}

// "S<n> <speed> A<n> <delta>" with both numbers left-justified, then CR.
void send_speed_and_move(int32_t circle, float speed, float delta, int32_t type, int32_t &ier) {
    FieldWriter w(g_drive.single_command, kSingleCommandLen);
    w.lit("S").i(circle, 1).tr(1);
    int32_t n = left_justified(speed, 10, 5);
    w.a(g_drive.number_text, n);
    w.lit(" A").i(circle, 1).tr(1);
    n = type == 4 ? left_justified(delta, 9, 4) : left_justified(delta, 8, 3);
    w.a(g_drive.number_text, n).chr('\r');
    send_single(ier);
}

// Phi rotation: the phi-rotation speed goes out at once; the line turns phi
// once with the detector gate and the shutter around it.
bool phi_rotation(int32_t &ier) {
    FieldWriter(g_drive.single_command, kSingleCommandLen)
        .lit("S3,")
        .f(g_drive.speeds[kPhi], 10, 5)
        .chr('\r');
    send_single(ier);
    if (ier != 0) return false;
    FieldWriter(g_drive.buffer, kDriveBufferLen)
        .lit("W+7 WA")
        .tr(1)
        .i(g_flags.lead_delay, 5)
        .lit(" W+3 W+1 M+3,1 W-1 WA")
        .tr(1)
        .i(10, 5)
        .lit(" W-7 WA 10 U0,0.")
        .chr('\r');
    g_drive.moving_mask = 1 << kPhi;
    return true;
}

bool is_command_letter(char c) {
    for (const char *l = "ASDCMIWU"; *l != '\0'; ++l)
        if (c == *l) return true;
    return false;
}

// Sends the drive buffer as one command line per command. The oscillation
// command starts with no command letter, so it rides on the line of the
// command before it; after the lead wait ("WA" and its delay) that line is
// longer than the 32 characters of a command line and its end, the
// readings per sub-scan, would be cut off. Such an oscillation command goes
// on a line of its own instead.
void send_drive_buffer(int32_t &ier) {
    const char *b = g_drive.buffer;
    const int32_t used = TRIMLEN(b, kDriveBufferLen);
    int32_t osc = 0;
    while (osc < used && b[osc] != 'O') ++osc;
    if (osc < used) {
        int32_t from = osc;
        while (from > 0 && !is_command_letter(b[from - 1])) --from;
        if (from > 0) --from;  // the command the oscillation rides on
        if (from > 0 && b[from] == 'A' && (b[from - 1] == 'W' || b[from - 1] == 'w')) --from;
        int32_t to = osc + 1;
        while (to < used && !is_command_letter(b[to])) ++to;
        if (osc > 0 && TRIMLEN(b + from, to - from) > kCommandLineLen) {
            GCPUTS(b, osc, ier);
            if (ier == 0) GCPUTS(b + osc, kDriveBufferLen - osc, ier);
            return;
        }
    }
    GCPUTS(b, kDriveBufferLen, ier);
}

bool holds_cr(const char *text, int32_t len) {
    for (int32_t i = 0; i < len; ++i)
        if (text[i] == '\r') return true;
    return false;
}

// Oscillation over the first circle that has to move. Returns false when no
// circle has to move (the request goes on as a plain move); otherwise the
// oscillation line is in the drive buffer or ier tells why it is not.
bool oscillation(const float current[4], int32_t nreadings, int32_t flags, int32_t type,
                 int32_t &ier) {
    int32_t k = 0;
    float d = 0.0f;
    for (; k < 4; ++k) {
        d = signed_distance(k, current[k]);
        if (std::fabs(d) > move_threshold(type)) break;
    }
    if (k == 4) return false;

    const float size = std::fabs(d);
    const int32_t n = size <= 10.0f ? 1 : static_cast<int32_t>(std::ceil(size / 10.0f));
    const double per_scan = std::round(static_cast<double>(nreadings) / n);
    if (!fits_i(static_cast<int64_t>(per_scan), 6)) {
        ier = kInvalidArgument;  // readings per sub-scan that no field holds
        return true;
    }
    FieldWriter(g_drive.scan_command, kScanCommandLen)
        .lit(" O")
        .i(k + 1, 1)
        .f(d, 8, 3)
        .f(size / n, 8, 3)
        .i(static_cast<int64_t>(per_scan), 6);

    // The line is built aside so that a line too long for the drive buffer
    // leaves the kept line of the previous request intact.
    char line[kDriveBufferLen];
    ADDFLAGS(g_drive.scan_command, kScanCommandLen, flags, k + 1, d, line, kDriveBufferLen, ier);
    if (ier != 0) return true;
    CMD_APPEND(kAngleRequest, kAngleRequestLen, line, kDriveBufferLen);
    if (!holds_cr(line, kDriveBufferLen)) {
        ier = GCERR(32);
        return true;
    }
    MEMCOPY(g_drive.buffer, line, kDriveBufferLen);
    g_drive.moving_mask = 1 << k;
    return true;
}

// One speed-and-move command per circle that has a speed and stands away
// from its target. False when a transmission failed (ier set).
bool plain_move(const float current[4], int32_t type, int32_t &ier) {
    for (int32_t k = 0; k < 4; ++k) {
        if (!(g_drive.speeds[k] > kNoSpeed)) continue;
        const float d = signed_distance(k, current[k]);
        g_drive.deltas[k] = d;
        if (std::fabs(d) <= move_threshold(type)) {
            if (type == 3 && k == kPhi) {
                send_phi_speed(ier);
                if (ier != 0) return false;
            }
            continue;
        }
        if (type != 3 && k == kChi) continue;  // no chi circle on these types
        g_drive.moving_mask |= 1 << k;
        float v = g_drive.speeds[k];
        // Omega moving together with 2-theta goes no faster than 2-theta.
        if (k == kOmega && (g_drive.moving_mask & 1)) v = std::fmin(g_drive.speeds[0], v);
        send_speed_and_move(k + 1, v, d, type, ier);
        if (ier != 0) return false;
    }
    if (g_drive.moving_mask != 0) g_state.override_value = 0;
    return true;
}

// ('I',I6,'C 0,',F10.3), then " D" when nothing moves, then CR. A failed
// transmission is not reported: the drive goes on without readings.
void counting_command(int32_t nreadings, float cvalue) {
    g_state.readings_outstanding = -nreadings;
    g_state.reading_number = 1;
    g_state.readings_received = 0;
    FieldWriter w(g_drive.single_command, kSingleCommandLen);
    w.lit("I").i(nreadings, 6).lit("C 0,").f(cvalue, 10, 3);
    if (g_drive.moving_mask == 0) w.lit(" D");
    w.chr('\r');
    int32_t scratch = 0;
    send_single(scratch);
}

// The closing line around "D": waits for the motion, with the flag texts and
// the angle request. The scan circle is phi when phi moves, else omega.
void closing_line(int32_t flags) {
    FieldWriter(g_drive.scan_command, kScanCommandLen).lit("D");
    const int32_t k = (g_drive.moving_mask & (1 << kPhi)) ? kPhi : kOmega;
    int32_t status = 0;
    ADDFLAGS(g_drive.scan_command, kScanCommandLen, flags, k + 1, g_drive.deltas[k], g_drive.buffer,
             kDriveBufferLen, status);
    CMD_APPEND(kAngleRequest, kAngleRequestLen, g_drive.buffer, kDriveBufferLen);
}

// Steps that may send or build something; returns with ier set on failure.
void request_body(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
                  int32_t mode, int32_t flags, bool queued, int32_t &ier) {
    int32_t need_update = 0;
    gc_needupdate(need_update);
    if (need_update != 0) {
        ier = GCERR(7);
        return;
    }

    const int32_t type = g_state.gonio_type;
    for (int32_t k = 0; k < 4; ++k) {
        g_drive.speeds[k] = speeds[k];
        g_drive.targets[k] = ANGLE_MOD(angles[k], 360.0f);
    }

    // Whatever keeps the angles from being read (collision, time-out, a
    // garbled reply), the circles must not be driven from unknown places.
    gcreada(g_state.angles, ier);
    if (ier != 0) {
        ier = GCERR(8);
        return;
    }
    float current[4];
    for (int32_t k = 0; k < 4; ++k) current[k] = g_state.angles[k];

    // A counting command whose numbers do not fit their fields would start
    // a count the host did not ask for.
    const bool counting = type == 3 && cvalue > 0.0f && (flags & kFlagCount) && nreadings > 0;
    if (counting && !(fits_i(nreadings, 6) && fits_f(cvalue, 10, 3))) {
        ier = kInvalidArgument;
        return;
    }

    if (mode != kDriveNoMotion) {
        // A speed that is not a number, or too large for its field, would go
        // out as a field of asterisks and leave the circle at whatever speed
        // it had: refuse it instead. (Targets that are not numbers fail the
        // limit check.)
        for (int32_t k = 0; k < 4; ++k) {
            if (!fits_f(speeds[k], 10, 5)) {
                ier = kInvalidArgument;
                return;
            }
        }
        gcchklimits(g_drive.targets, 0, ier);
        if (ier != 0) return;

        // 2-theta and omega never pass 180; phi and chi take the shorter way
        // round, unless a chi of 180 is forbidden: then chi never passes it.
        g_drive.cut_refs[0] = 180.0f;
        g_drive.cut_refs[kOmega] = 180.0f;
        g_drive.cut_refs[kPhi] = ANGLE_MOD(current[kPhi] + 180.0f, 360.0f);
        g_drive.cut_refs[kChi] = ANGLE_MOD(current[kChi] + 180.0f, 360.0f);
        float chi180[4] = {g_drive.targets[0], g_drive.targets[1], g_drive.targets[2], 180.0f};
        int32_t scratch = 0;
        gcchklimits(chi180, 0, scratch);
        if (scratch != 0) g_drive.cut_refs[kChi] = 180.0f;

        if (mode == kDrivePhiRotation) {
            if (!phi_rotation(ier)) return;
            if (queued) return;
            send_drive_buffer(ier);
            return;
        }
        if (type == 2 || type == 4) {
            g_drive.cut_refs[kOmega] = ANGLE_MOD(current[kOmega] + 180.0f, 360.0f);
            if (mode == kDriveOscillation && oscillation(current, nreadings, flags, type, ier)) {
                if (ier != 0 || queued) return;
                send_drive_buffer(ier);
                return;
            }
        }
        if (!plain_move(current, type, ier)) return;
    }

    if (counting) counting_command(nreadings, cvalue);

    if (mode != kDriveNoMotion) {
        closing_line(flags);
        if (queued) return;
    }
    if (TRIMLEN(g_drive.buffer, kDriveBufferLen) != 0) send_drive_buffer(ier);
}

}  // namespace

void drive_request(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
                   int32_t mode, int32_t flags, bool queued, int32_t &ier) {
    g_drive.moving_mask = 0;
    ier = 0;
    if (!g_state.link_open) return;
    request_body(angles, nreadings, cvalue, speeds, mode, flags, queued, ier);
    notify_motion(g_drive.moving_mask);
}

void gcdrsc(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
            int32_t mode, int32_t flags, int32_t &ier) {
    drive_request(angles, nreadings, cvalue, speeds, mode, flags, false, ier);
}

void gcqdrsc(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
             int32_t mode, int32_t flags, int32_t &ier) {
    drive_request(angles, nreadings, cvalue, speeds, mode, flags, true, ier);
}

}  // namespace gonioctl

namespace {

// A missing angle set or speed set cannot be driven: nothing is sent.
int32_t drive_entry(const float *angles, int32_t nreadings, float cvalue, const float *speeds,
                    int32_t mode, int32_t flags, bool queued, int32_t *ier) {
    gonioctl::Out<int32_t> out_ier(ier);
    int32_t &status = out_ier;
    if (angles == nullptr || speeds == nullptr) {
        status = gonioctl::kInvalidArgument;
        return 0;
    }
    gonioctl::drive_request(angles, nreadings, cvalue, speeds, mode, flags, queued, status);
    return 0;
}

}  // namespace

extern "C" {

int32_t gcdrsc(const float *angles, int32_t nreadings, float cvalue, const float *speeds,
               int32_t mode, int32_t flags, int32_t *ier) {
    return drive_entry(angles, nreadings, cvalue, speeds, mode, flags, false, ier);
}

int32_t gcqdrsc(const float *angles, int32_t nreadings, float cvalue, const float *speeds,
                int32_t mode, int32_t flags, int32_t *ier) {
    return drive_entry(angles, nreadings, cvalue, speeds, mode, flags, true, ier);
}

}  // extern "C"
