// X-ray generator: voltage and current set-points and read-backs.
//
// Each exchange is one command line and one reply record. The set commands
// carry the value as a whole number in five characters between "RC1GV" (or
// "RC1GC") and "RC0"; a refusal comes back as '?' and a two-digit code.
#include "periph/generator.h"

#include <cmath>

#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "gonioctl.h"
#include "link/framing.h"

namespace gonioctl {

namespace {

constexpr int32_t kCommandLen = 16;  // command buffer
constexpr int32_t kSetLen = 14;      // "RC1GV", I5, "RC0", CR
constexpr int32_t kReplyLen = 16;    // reply record, CR included
constexpr int32_t kValueWidth = 5;   // set-point field
constexpr int32_t kReadWidth = 9;    // read-back field

// Rest of an overlong reply: read up to its CR and dropped. At 9600 baud
// the drain buffer fills in well under the time allowed.
constexpr int32_t kErrOverflow = 13;
constexpr int32_t kDrainLen = 256;
constexpr float kDrainTimeout = 1.0f;

// Refusal codes of the generator and the message codes they map to.
constexpr int32_t kErrIllegal = 28;      // codes 1 to 3
constexpr int32_t kErrLocalMode = 29;    // code 4
constexpr int32_t kErrSwitchedOff = 30;  // code 13
constexpr int32_t kErrPowerLimit = 31;   // code 14

struct GeneratorData {
    char command[kCommandLen] = {};
    char reply[kReplyLen] = {};
    int32_t code = 0;  // last refusal code read
};
constinit GeneratorData g_gen{};

// Nearest whole number, halves away from zero; a value that cannot be a
// whole number of five characters (or is not finite) is passed on out of
// range so that the field is written as '*'.
int64_t whole_number(float v) {
    const double r = std::round(static_cast<double>(v));
    if (!std::isfinite(r) || std::fabs(r) > 1.0e6) return 10000000;
    return static_cast<int64_t>(r);
}

// Receives one reply record into g_gen.reply. A record too long for it
// fails with code 13 part-way through; the rest of that record is then read
// and dropped, so that its tail is not taken as the reply to the next
// generator command.
void receive(int32_t &ier) {
    int32_t count = 0;
    GCGETW(g_gen.reply, kReplyLen, kGeneratorTimeout, count, ier);
    int32_t facility = 0, code = 0;
    ERR_SPLIT(ier, facility, code);
    if (facility == kFacility && code == kErrOverflow) {
        char rest[kDrainLen];
        int32_t status = 0;
        GCGETW(rest, kDrainLen, kDrainTimeout, count, status);
    }
}

// Sends one set command and receives its reply into g_gen.reply.
void exchange_set(const char *mnemonic, float value, int32_t &ier) {
    FieldWriter(g_gen.command, kCommandLen)
        .lit(mnemonic)
        .i(whole_number(value), kValueWidth)
        .lit("RC0")
        .chr('\r');
    GCPUT1(g_gen.command, kSetLen, ier);
    receive(ier);
}

// Error value of a refusal reply. A code that cannot be read gives -1 rather
// than whatever code an earlier refusal left behind.
int32_t refusal_status(const char *reply) {
    int32_t code = 0;
    if (read_i(reply + 1, 2, code) != 0) return -1;
    g_gen.code = code;
    switch (code) {
        case 1:
        case 2:
        case 3:
            return GCERR(kErrIllegal);
        case 4:
            return GCERR(kErrLocalMode);
        case 13:
            return GCERR(kErrSwitchedOff);
        case 14:
            return GCERR(kErrPowerLimit);
        default:
            return -1;
    }
}

// Sends a read command and reads the number that follows the first two
// characters of the reply, up to its CR (at most nine characters). The value
// is only written when the read succeeded.
void exchange_read(const char *command, float &value, int32_t &ier) {
    GCPUT1(command, 10, ier);
    receive(ier);
    if (ier != 0) return;
    // A record cut short by the host's interrupt has no CR: read what came.
    int32_t end = kReplyLen;
    for (int32_t k = 0; k < kReplyLen; ++k) {
        if (g_gen.reply[k] == '\r') {
            end = k;
            break;
        }
    }
    int32_t width = end - 2;
    if (width > kReadWidth) width = kReadWidth;
    int32_t number = 0;
    if (width > 0) {
        ier = read_i(g_gen.reply + 2, width, number);
        if (ier != 0) return;
    }
    value = static_cast<float>(number);
}

}  // namespace

int32_t generator_code() {
    return g_gen.code;
}

void gcset_generator(float voltage, float current, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;
    // A set-point that is not a number would go out as a field of '*' and
    // leave its acceptance to the generator: refuse it before anything is
    // sent, so that neither value is set.
    if (!std::isfinite(voltage) || !std::isfinite(current)) {
        ier = kInvalidArgument;
        return;
    }
    gcflush();

    exchange_set("RC1GV", voltage, ier);
    if (ier != 0) return;
    // A refused voltage ends the call: the current is not sent.
    if (g_gen.reply[0] == '?') {
        ier = refusal_status(g_gen.reply);
        return;
    }

    exchange_set("RC1GC", current, ier);
    if (ier != 0) return;
    if (g_gen.reply[0] == '?') ier = refusal_status(g_gen.reply);
}

void gcget_generator(float &voltage, float &current, int32_t &ier) {
    voltage = 0.0f;
    current = 0.0f;
    ier = 0;
    if (g_state.link_open == 0) return;

    static constexpr char kReadVoltage[] = "RC1GS2RC0\r";
    static constexpr char kReadCurrent[] = "RC1GS3RC0\r";
    // A voltage reply without a number ends the call with the read status,
    // so that the failure is not hidden by the current exchange.
    exchange_read(kReadVoltage, voltage, ier);
    if (ier != 0) return;
    exchange_read(kReadCurrent, current, ier);
}

}  // namespace gonioctl

extern "C" {

int32_t gcset_generator(float voltage, float current, int32_t *ier) {
    gonioctl::gcset_generator(voltage, current, gonioctl::Out(ier));
    return 0;
}

int32_t gcget_generator(float *voltage, float *current, int32_t *ier) {
    gonioctl::gcget_generator(gonioctl::Out(voltage), gonioctl::Out(current), gonioctl::Out(ier));
    return 0;
}

}  // extern "C"
