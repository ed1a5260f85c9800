// Drive completion wait. After a drive request the controller works through
// its command lines and finally reports its angles. The wait reads reply
// records one at a time: an angle reply ends the drive (angles stored and
// reported, shutter bits and status words decoded); on a counting drive each
// other record is a reading; "ST" records carry a single value. After every
// record the host is asked whether the user wants to interrupt, which resets
// the controller. The waiting itself happens inside GCGETW.
#include "motion/wait.h"

#include <cmath>
#include <cstring>

#include "core/callbacks.h"
#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/out_arg.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "gonio/angles.h"
#include "link/framing.h"
#include "link/reset.h"

namespace gonioctl {

namespace {

constexpr int32_t kRecordLen = 80;
constexpr char kSeparators[] = " ,\t";   // between fields
constexpr char kFieldEnds[] = " ,\t\r";  // what ends a field

constinit char g_record[kRecordLen] = {};

// How one record was handled.
enum class Outcome { Next, End };

// Rounds halves away from zero. False for a value that no 32-bit integer
// can hold (or that is not a number), which the caller treats as unreadable.
bool nearest_int(float v, int32_t &out) {
    if (!std::isfinite(v)) return false;
    const double r = std::round(static_cast<double>(v));
    if (r < -2147483648.0 || r > 2147483647.0) return false;
    out = static_cast<int32_t>(r);
    return true;
}

bool holds_point(const char *text, int32_t n) {
    return n > 0 && std::memchr(text, '.', static_cast<size_t>(n)) != nullptr;
}

// Walks the fields of a record of n characters (its CR left out).
class FieldCursor {
  public:
    FieldCursor(const char *text, int32_t n) : text_(text), n_(n) {}

    // The next field: separators skipped, the field running to the next
    // separator or CR, or to the end of the record. False when none is left.
    bool next(const char *&field, int32_t &len) {
        if (pos_ >= n_) return false;
        const int32_t s = SKIPSET(text_ + pos_, n_ - pos_, kSeparators, 3);
        if (s == 0) return false;
        const int32_t start = pos_ + s - 1;
        const int32_t e = SCANSET(text_ + start, n_ - start, kFieldEnds, 4);
        len = e != 0 ? e - 1 : TRIMLEN(text_ + start, n_ - start);
        field = text_ + start;
        // Every field moves the cursor on, so no record can hold the walk
        // in place.
        pos_ = start + (len > 0 ? len : 1);
        return true;
    }

    int32_t pos() const { return pos_; }

  private:
    const char *text_;
    int32_t n_;
    int32_t pos_ = 0;
};

// Reads an angle reply: four decimal fields, any further decimal fields
// skipped, then the two status words. False (nothing changed) when one of
// the four fields cannot be read. On a status that stops the drive, ier is
// set and reset_needed is true.
bool take_angle_reply(const char *rec, int32_t n, int32_t &ier, bool &reset_needed) {
    FieldCursor cursor(rec, n);
    float work[4];
    for (float &angle : work) {
        const char *field = nullptr;
        int32_t len = 0;
        float v = 0.0f;
        if (!cursor.next(field, len) || READREAL(field, len, v) != 0) return false;
        angle = ANGLE_MOD(v, 360.0f);
    }
    // The status words follow the last decimal field, however many there are.
    while (holds_point(rec + cursor.pos(), n - cursor.pos())) {
        const char *field = nullptr;
        int32_t len = 0;
        if (!cursor.next(field, len)) break;
    }

    for (int32_t k = 0; k < 4; ++k) g_state.angles[k] = work[k];
    notify_angles(g_state.angles);

    // The words are read from the separator that ended the last decimal
    // field on; both are 0 when missing, and a failed read is not reported.
    int32_t word1 = 0;
    int32_t word2 = 0;
    ListReader words(rec + cursor.pos(), n - cursor.pos());
    int32_t item = 0;
    if (words.integer(item) == 0) {
        word1 = item;
        item = 0;
        if (words.integer(item) == 0) word2 = item;
    }

    notify_shutter(((word1 & 4) != 0 ? 2 : 0) + ((word1 & 0x8000) != 0 ? 1 : 0));

    ier = GCSTATERR(word1, word2);
    if (ier != 0) {
        reset_needed = true;
        return true;
    }
    if (g_state.readings_outstanding == 0) notify_motion(0);
    return true;
}

// Position (0-based) of "ST" in the record, -1 when it holds none.
int32_t find_st(const char *rec, int32_t n) {
    for (int32_t i = 0; i + 1 < n; ++i)
        if (rec[i] == 'S' && rec[i + 1] == 'T') return i;
    return -1;
}

// A record that is not an angle reply: an "ST" value, a reading of the
// counting command, or, with no readings expected, nothing of interest.
Outcome take_other(const char *rec, int32_t n, int32_t &reading, int32_t &ier) {
    const int32_t st = find_st(rec, n);
    if (st >= 0) {
        float v = 0.0f;
        int32_t value = 0;
        if (READREAL(rec + st + 2, n - st - 2, v) != 0 || !nearest_int(v, value)) {
            ier = GCERR(11);
            return Outcome::End;
        }
        reading = value;
        return Outcome::Next;
    }
    if (g_state.readings_outstanding == 0) return Outcome::Next;

    g_state.readings_received += 1;
    float v = 0.0f;
    int32_t value = 0;
    if (READREAL(rec, n, v) != 0 || !nearest_int(v, value)) {
        ier = GCERR(11);
        return Outcome::End;
    }
    g_state.readings_outstanding += 1;
    g_state.reading_number += 1;
    reading = value;
    return Outcome::Next;
}

// One received record of count characters: Next to go on, End to stop with ier.
Outcome take_record(int32_t count, int32_t &reading, int32_t &ier) {
    int32_t n = count < kRecordLen ? count : kRecordLen;
    if (g_record[n - 1] == '\r') --n;
    if (n == 0) {
        ier = GCERR(9);
        return Outcome::End;
    }

    // An angle reply is told by a decimal point before its CR.
    if (holds_point(g_record, n)) {
        bool reset_needed = false;
        if (take_angle_reply(g_record, n, ier, reset_needed)) {
            if (!reset_needed) return Outcome::Next;
            // Collision or a controller fault: stop the controller.
            int32_t scratch = 0;
            gcreset(scratch);
            return Outcome::End;
        }
    }
    return take_other(g_record, n, reading, ier);
}

}  // namespace

void gcdrscwait(int32_t nwait, int32_t &reading, float timeout, int32_t &ier) {
    ier = 0;
    if (g_state.link_open == 0) return;
    const float start = seconds_of_day();

    for (;;) {
        int32_t count = 0;
        GCGETW(g_record, kRecordLen, timeout, count, ier);
        if (ier != 0) break;

        if (ask_interrupt() != 0) {
            set_interrupt(0);
            int32_t scratch = 0;
            gcreset(scratch);
            notify_angles(g_state.angles);
            ier = GCERR(14);
            set_interrupt(1);
            break;
        }

        const float elapsed = elapsed_since(start);
        if (tracing(6))
            TraceLine("DRSCWAIT Timeout, time, NC ")
                << static_cast<double>(timeout) << static_cast<double>(elapsed) << count << nwait
                << g_state.readings_received << g_state.reading_number;

        if (count <= 0) {
            ier = GCERR(9);
            break;
        }
        if (timeout > 0.0f && elapsed > timeout) {
            ier = GCERR(10);
            break;
        }
        if (take_record(count, reading, ier) == Outcome::End) break;

        if (nwait > 0 && g_state.readings_received < nwait) continue;
        ier = 0;
        return;
    }

    // The wait ended early: no readings are expected any more and the
    // drive is over as far as the host is concerned.
    g_state.readings_outstanding = 0;
    notify_motion(0);
}

}  // namespace gonioctl

// ---- Exported entry point -------------------------------------------------

extern "C" {

GC_API int32_t gcdrscwait(int32_t nwait, int32_t *reading, float timeout, int32_t *ier) {
    gonioctl::gcdrscwait(nwait, gonioctl::Out(reading), timeout, gonioctl::Out(ier));
    return 0;
}

}  // extern "C"
