// Helpers for fixed-length, blank-padded texts that may end early at a NUL.
#include "core/text.h"

#include <cstring>

#include "core/format.h"
#include "support/report.h"

namespace gonioctl {

namespace {

bool in_set(char c, const char *set, int32_t setlen) {
    for (int32_t k = 0; k < setlen; ++k) {
        if (set[k] == c) return true;
    }
    return false;
}

// Position (from 1) of the first character equal to c in text(1..len), 0 if none.
int32_t index_of(const char *text, int32_t len, char c) {
    for (int32_t k = 0; k < len; ++k) {
        if (text[k] == c) return k + 1;
    }
    return 0;
}

}  // namespace

int32_t TRIMLEN(const char *text, int32_t len) {
    if (text == nullptr || len <= 0) return 0;
    const void *nul = std::memchr(text, '\0', static_cast<std::size_t>(len));
    if (nul != nullptr) return static_cast<int32_t>(static_cast<const char *>(nul) - text);
    int32_t n = len;
    while (n > 0 && text[n - 1] == ' ') --n;
    return n;
}

int32_t SCANSET(const char *text, int32_t len, const char *set, int32_t setlen) {
    if (text == nullptr || len <= 0) return 0;
    int32_t n = TRIMLEN(text, len);
    // An all-blank text still has its first position examined, so that a
    // search for a blank finds one.
    if (n == 0 && text[0] == ' ') n = 1;
    for (int32_t i = 1; i <= n; ++i) {
        if (in_set(text[i - 1], set, setlen)) return i;
    }
    return 0;
}

int32_t SKIPSET(const char *text, int32_t len, const char *set, int32_t setlen) {
    const int32_t n = TRIMLEN(text, len);
    for (int32_t i = 1; i <= n; ++i) {
        if (!in_set(text[i - 1], set, setlen)) return i;
    }
    return 0;
}

int32_t UPCHAR(int32_t code) {
    return (code >= 'a' && code <= 'z') ? code - 32 : code;
}

int32_t CASECMP(const char *t1, int32_t len1, const char *t2, int32_t len2, int32_t n) {
    int32_t m = len1 < len2 ? len1 : len2;
    if (n < m) m = n;
    for (int32_t k = 0; k < m; ++k) {
        const int32_t a = UPCHAR(static_cast<unsigned char>(t1[k]));
        const int32_t b = UPCHAR(static_cast<unsigned char>(t2[k]));
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

void LEFTJUST(char *text, int32_t len) {
    const int32_t t = TRIMLEN(text, len);
    const int32_t p = SKIPSET(text, len, " \t", 2);
    if (p <= 1) return;
    const int32_t n = t - p + 1;
    std::memmove(text, text + p - 1, static_cast<std::size_t>(n));
    std::memset(text + n, ' ', static_cast<std::size_t>(len - n));
}

void CMD_APPEND(const char *src, int32_t srclen, char *dst, int32_t dstlen) {
    const int32_t n = TRIMLEN(dst, dstlen);
    if (n >= dstlen) return;
    int32_t count = srclen > 0 ? srclen : 0;
    if (count > dstlen - n) count = dstlen - n;
    if (count > 0) std::memmove(dst + n, src, static_cast<std::size_t>(count));
    std::memset(dst + n + count, ' ', static_cast<std::size_t>(dstlen - n - count));
}

int32_t READREAL(const char *text, int32_t len, float &value) {
    const int32_t p = SKIPSET(text, len, " ", 1);
    if (p == 0) return -1;

    // The token starting at p ends at the first blank (or NUL) inside the
    // significant part of the rest, else at the end of that part.
    const char *rest = text + p - 1;
    const int32_t restlen = len - p + 1;
    static constexpr char kBlankNul[2] = {' ', '\0'};
    int32_t e = SCANSET(rest, restlen, kBlankNul, 2);
    if (e == 0) e = TRIMLEN(rest, restlen);
    const int32_t d = SCANSET(text, len, "deDE", 4);
    // A "." anywhere in the text (not only in the token) decides how the
    // token is prepared; the search ends at a NUL, where the text ends.
    const int32_t dot = index_of(text, TRIMLEN(text, len), '.');
    if (e <= 1 && (d > 0 || dot > 0)) return -1;

    // Prepare the token so that it always carries a decimal point, which
    // keeps the G16.7 read from taking digits as implied decimals.
    char work[32];
    blank_fill(work, 32);
    if (dot > 0) {
        set_text(work, 32, rest, restlen);
    } else if (d > p) {
        FieldWriter w(work, 32);
        w.a(text + p - 1, d - p).chr('.').a(text + d - 1, len - d + 1);
    } else {
        FieldWriter w(work, 32);
        w.a(text + p - 1, e).chr('.');
    }

    float v = 0.0f;
    const int32_t status = ERR_IOSTAT(read_g16(work, 16, v));
    if (status == 0) value = v;
    return status;
}

int32_t ERR_IOSTAT(int32_t status) {
    int32_t r;
    if (status < 0) {
        r = 599;
    } else if (status == 0) {
        return 0;
    } else if (status <= 999) {
        r = status + 2000;
    } else {
        r = status;
    }
    static constexpr char kLabel[] = "ERR_IOSTAT reported error.";
    ERR_REPORT(r, kLabel, 26);
    return r;
}

void MEMCOPY(void *dst, const void *src, int32_t count) {
    if (count > 0 && dst != nullptr && src != nullptr) {
        std::memmove(dst, src, static_cast<std::size_t>(count));
    }
}

void blank_fill(char *text, int32_t len) {
    if (text != nullptr && len > 0) std::memset(text, ' ', static_cast<std::size_t>(len));
}

void set_text(char *field, int32_t len, const char *src, int32_t srclen) {
    if (field == nullptr || len <= 0) return;
    int32_t n = 0;
    if (src != nullptr) {
        if (srclen < 0) {
            while (n < len && src[n] != '\0') ++n;
        } else {
            n = srclen < len ? srclen : len;
        }
        std::memmove(field, src, static_cast<std::size_t>(n));
    }
    std::memset(field + n, ' ', static_cast<std::size_t>(len - n));
}

}  // namespace gonioctl
