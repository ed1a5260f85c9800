// Trace level and trace lines on standard output.
#include "core/trace.h"

#include <cstdio>

#include "core/state.h"
#include "support/console.h"
#include "support/settings.h"

namespace gonioctl {

int32_t DBGLEVEL() {
    if (!g_link.trace_level_read) {
        char value[32];
        int32_t status = -1;
        ENV_TRANSLATE("KORU$DBGLEVEL", 13, value, 32, status);
        int32_t level = 0;
        if (status == 0) {
            int32_t v = 0, pos = 0;
            READRADIX(value, 32, 10, v, pos);
            // Anything but plain digits (a sign, a letter) leaves tracing off.
            level = pos == 0 ? v : 0;
        }
        g_link.trace_level = level;
        g_link.trace_level_read = true;
    }
    return g_link.trace_level;
}

TraceLine::TraceLine(std::string_view label) {
    append(label);
}

TraceLine::~TraceLine() {
    // Room for the newline is always kept back by append().
    buf_[n_++] = '\n';
    // A host without a usable standard output loses its trace, nothing more.
    CON_WRITE(buf_, n_, n_);
}

void TraceLine::append(std::string_view s) {
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        char esc[8];
        const char *piece = esc;
        int32_t len = 1;
        if (u >= 32 && u < 127) {
            esc[0] = c;
        } else {
            switch (u) {
                case '\r':
                    piece = "<CR>";
                    break;
                case '\n':
                    piece = "<LF>";
                    break;
                case 7:
                    piece = "<BEL>";
                    break;
                case 0x11:
                    piece = "<XON>";
                    break;
                case 0x13:
                    piece = "<XOFF>";
                    break;
                default:
                    std::snprintf(esc, sizeof esc, "<0x%02X>", u);
                    break;
            }
            len = 0;
            while (piece[len] != '\0') ++len;
        }
        // A line too long for the buffer is cut; one place stays for the newline.
        if (n_ + len > static_cast<int32_t>(sizeof buf_) - 1) return;
        for (int32_t k = 0; k < len; ++k) buf_[n_++] = piece[k];
    }
}

void TraceLine::sep() {
    if (n_ > 0 && buf_[n_ - 1] != ' ' && n_ < static_cast<int32_t>(sizeof buf_) - 1) {
        buf_[n_++] = ' ';
    }
}

TraceLine &TraceLine::operator<<(int32_t v) {
    return *this << static_cast<int64_t>(v);
}

TraceLine &TraceLine::operator<<(int64_t v) {
    char tmp[24];
    std::snprintf(tmp, sizeof tmp, "%lld", static_cast<long long>(v));
    sep();
    append(tmp);
    return *this;
}

TraceLine &TraceLine::operator<<(double v) {
    char tmp[32];
    std::snprintf(tmp, sizeof tmp, "%.7g", v);
    sep();
    append(tmp);
    return *this;
}

TraceLine &TraceLine::operator<<(bool v) {
    sep();
    append(v ? "T" : "F");
    return *this;
}

TraceLine &TraceLine::operator<<(std::string_view s) {
    sep();
    append(s);
    return *this;
}

TraceLine &TraceLine::operator<<(const char *s) {
    return *this << std::string_view(s != nullptr ? s : "");
}

TraceLine &TraceLine::text(const char *s, int32_t n) {
    return *this << std::string_view(s != nullptr ? s : "", s != nullptr && n > 0 ? n : 0);
}

}  // namespace gonioctl
