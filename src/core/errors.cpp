// Error values: composition, splitting, the message table, and the decoding
// of the two status words of an angle reply.
#include "core/errors.h"

#include <array>
#include <string_view>

#include "core/callbacks.h"
#include "core/format.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"
#include "support/report.h"

namespace gonioctl {

namespace {

constexpr int32_t kTextLen = 128;
constexpr int32_t kEntryLen = 64;
constexpr int32_t kCodes = 36;

constexpr std::string_view kMessages[kCodes] = {
    "Attempt to drive into OMEGA positive collision limit",
    "Attempt to drive into OMEGA negative collision limit",
    "Attempt to drive into OMEGA-2THETA collision limit",
    "Attempt to drive into CHI collision limit",
    "Attempt to drive into PHI collision limit",
    "Can't find decimal point in angles sent by controller",
    "Goniometer angles must be updated first",
    "Goniometer in collision.  Back off in MANUAL mode",
    "Zero length record read from goniometer controller",
    "Timeout waiting for reply from goniometer controller",
    "Error reading numeric value from goniometer controller",
    "Timeout waiting for XON from goniometer controller",
    "GCGETW buffer overflow reading from goniometer controller",
    "Interrupted by user",
    "Can't reset goniometer controller. Check serial link.",
    "2-Theta encoder error",
    "Omega encoder error",
    "Phi encoder error",
    "Chi encoder error",
    "Goniometer controller received unrecognized characters",
    "Shutter timeout error",
    "Attenuator timeout error",
    "Attempt to drive >360 deg or beyond collision limits",
    "Attempt to drive into 2THETA positive collision limit",
    "Attempt to drive into 2THETA negative collision limit",
    "Error message sent from goniometer controller",
    "Attempt to move chi on 3-circle goniometer",
    "Generator: Illegal command, arguments require or incorrect",
    "Generator: Can use command only in computer mode",
    "Generator: Switched off",
    "Generator: Power limited",
    "GGCS command string too long",
    "Tried to move 2theta, omega or kappa beyond coupled limits",
    "Non-physical kappa angle",
    "Attempt to drive non-controllable axis",
    "Angle being homed is lost: issue UPDATE, then HOMEAXIS command",
};

// The table as stored: each entry blank-padded to 64 characters.
using Entry = std::array<char, kEntryLen>;
constexpr std::array<Entry, kCodes> make_table() {
    std::array<Entry, kCodes> t{};
    for (int32_t c = 0; c < kCodes; ++c) {
        for (int32_t k = 0; k < kEntryLen; ++k) {
            t[c][k] = k < static_cast<int32_t>(kMessages[c].size()) ? kMessages[c][k] : ' ';
        }
    }
    return t;
}
constexpr std::array<Entry, kCodes> kTable = make_table();
static_assert(kMessages[35].size() <= kEntryLen);

// Status-word-2 bits in the order they are examined, with their codes;
// reported rows go to the trace callback and yield 0, the others are returned.
struct StatusRow {
    int32_t bit;
    int32_t code;
    bool reported;
};
constexpr StatusRow kStatusRows[] = {
    {1, 18, true},   {2, 19, true},  {4, 17, true},  {8, 16, true},
    {16, 20, false}, {32, 21, true}, {64, 22, true}, {128, 23, false},
};

}  // namespace

int32_t ERR_MAKE(int32_t facility, int32_t code) {
    const uint32_t v =
        (static_cast<uint32_t>(facility) << 16) | (static_cast<uint32_t>(code) & 0xFFFFu);
    const int32_t value = static_cast<int32_t>(v);
    static constexpr char kLabel[] = "ERR_MAKE reported error.";
    ERR_REPORT(value, kLabel, 24);
    return value;
}

int32_t GCERR(int32_t code) {
    return ERR_MAKE(kFacility, code);
}

void ERR_SPLIT(int32_t value, int32_t &facility, int32_t &code) {
    const uint32_t v = static_cast<uint32_t>(value);
    facility = static_cast<int32_t>(v >> 16);
    code = static_cast<int32_t>(v & 0xFFFFu);
}

const char *message_text(int32_t code) {
    if (code < 1 || code > kCodes) return nullptr;
    return kTable[code - 1].data();
}

void gcget_error_text(int32_t value, char *text) {
    if (value == 0 || text == nullptr) return;
    int32_t facility = 0, code = 0;
    ERR_SPLIT(value, facility, code);
    if (facility != kFacility) {
        blank_fill(text, kTextLen);
        return;
    }
    if (const char *entry = message_text(code)) {
        set_text(text, kTextLen, entry, kEntryLen);
        return;
    }
    FieldWriter(text, kTextLen).lit("ZARIM error #").i(value, 10);
}

int32_t GCSTATERR(int32_t word1, int32_t word2) {
    if (word1 & 1) return GCERR(8);
    for (const StatusRow &row : kStatusRows) {
        if ((word2 & row.bit) == 0) continue;
        const int32_t value = GCERR(row.code);
        if (!row.reported) return value;
        char text[kTextLen];
        gcget_error_text(value, text);
        notify_trace(text, kTextLen);
        return 0;
    }
    return 0;
}

}  // namespace gonioctl

extern "C" int32_t gcget_error_text(int32_t value, char *text) {
    char scratch[128];
    gonioctl::gcget_error_text(value, text != nullptr ? text : scratch);
    return 0;
}
