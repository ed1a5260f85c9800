// Fixed-width template writes and reads, and the free-format list read.
#include "core/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace gonioctl {

namespace {

// Widest field written in one piece; a wider field gets leading blanks.
constexpr int32_t kMaxField = 256;

void stars(char *dst, int32_t w) {
    std::memset(dst, '*', static_cast<std::size_t>(w));
}

// Right-justifies the n characters of s in dst[0..w-1], or writes w '*'.
void right_justify(char *dst, int32_t w, const char *s, int32_t n) {
    if (n > w) {
        stars(dst, w);
        return;
    }
    std::memset(dst, ' ', static_cast<std::size_t>(w - n));
    std::memcpy(dst + (w - n), s, static_cast<std::size_t>(n));
}

bool is_blank(char c) {
    return c == ' ';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Moves i past the blanks at s[i..n-1].
void skip_blanks(const char *s, int32_t n, int32_t &i) {
    while (i < n && is_blank(s[i])) ++i;
}

// Start of a number field with blanks ignored: moves i past the leading
// blanks and an optional sign. False when the field is all blank.
bool field_start(const char *s, int32_t n, int32_t &i, bool &neg) {
    skip_blanks(s, n, i);
    if (i >= n) return false;
    neg = s[i] == '-';
    if (s[i] == '+' || s[i] == '-') ++i;
    return true;
}

// Length of a field up to its first NUL: a text ends at a NUL.
int32_t field_len(const char *text, int32_t w) {
    if (text == nullptr || w <= 0) return 0;
    const void *nul = std::memchr(text, '\0', static_cast<std::size_t>(w));
    return nul ? static_cast<int32_t>(static_cast<const char *>(nul) - text) : w;
}

// Reads a real number from s[0..n-1] with blanks ignored everywhere: an
// optional sign, digits with at most one point, an optional exponent (a
// letter E/D in either case with an optional signed integer, or a sign and
// digits alone). Without a point the last d digits are decimals. An
// all-blank field is 0.
int32_t parse_real(const char *s, int32_t n, int32_t d, double &out) {
    int32_t i = 0;
    bool neg = false;
    if (!field_start(s, n, i, neg)) {
        out = 0.0;
        return 0;
    }
    // Significant digits kept for the conversion; digits beyond them only
    // move the decimal exponent.
    char digits[40];
    int32_t ndig = 0;
    int64_t scale = 0;  // decimal exponent applied to the kept digits
    bool any_digit = false, point = false;
    int32_t frac = 0;
    for (;;) {
        skip_blanks(s, n, i);
        if (i >= n) break;
        const char c = s[i];
        if (is_digit(c)) {
            any_digit = true;
            if (point) ++frac;
            if (ndig == 0 && c == '0') {
                // leading zero: nothing kept
            } else if (ndig < static_cast<int32_t>(sizeof digits)) {
                digits[ndig++] = c;
            } else {
                ++scale;  // dropped digit left of the end
            }
            ++i;
        } else if (c == '.' && !point) {
            point = true;
            ++i;
        } else {
            break;
        }
    }
    if (!any_digit) return kReadBad;
    scale -= point ? frac : d;

    if (i < n) {
        const char c = s[i];
        bool letter = c == 'E' || c == 'e' || c == 'D' || c == 'd';
        if (!letter && c != '+' && c != '-') return kReadBad;
        if (letter) {
            ++i;
            skip_blanks(s, n, i);
        }
        bool eneg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            eneg = s[i] == '-';
            ++i;
        }
        int64_t ev = 0;
        bool edig = false;
        for (;;) {
            skip_blanks(s, n, i);
            if (i >= n || !is_digit(s[i])) break;
            if (ev < 100000) ev = ev * 10 + (s[i] - '0');
            edig = true;
            ++i;
        }
        if (!edig || i < n) return kReadBad;
        scale += eneg ? -ev : ev;
    }

    if (ndig == 0) {
        out = neg ? -0.0 : 0.0;
        return 0;
    }
    if (scale > 100000) scale = 100000;
    if (scale < -100000) scale = -100000;
    // Digits and a decimal exponent, no point: independent of the locale.
    char buf[64];
    std::memcpy(buf, digits, static_cast<std::size_t>(ndig));
    std::snprintf(buf + ndig, sizeof buf - static_cast<std::size_t>(ndig), "e%lld",
                  static_cast<long long>(scale));
    const double v = std::strtod(buf, nullptr);
    out = neg ? -v : v;
    return 0;
}

// Reads an integer from s[0..n-1] with blanks ignored: an optional sign and
// digits only. An all-blank field is 0.
int32_t parse_int(const char *s, int32_t n, int32_t &value) {
    int32_t i = 0;
    bool neg = false;
    if (!field_start(s, n, i, neg)) {
        value = 0;
        return 0;
    }
    int64_t v = 0;
    bool any = false;
    for (;;) {
        skip_blanks(s, n, i);
        if (i >= n) break;
        if (!is_digit(s[i])) return kReadBad;
        v = v * 10 + (s[i] - '0');
        if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return kReadBad;
        any = true;
        ++i;
    }
    if (!any) return kReadBad;
    if (neg) v = -v;
    if (v > std::numeric_limits<int32_t>::max()) return kReadBad;
    value = static_cast<int32_t>(v);
    return 0;
}

// A real value as single precision, refusing values beyond its range.
int32_t to_float(double v, float &value) {
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return kReadBad;
    value = static_cast<float>(v);
    return 0;
}

// A real number read as by parse_real, as single precision; value is set
// only on success.
int32_t parse_float(const char *s, int32_t n, int32_t d, float &value) {
    double v = 0.0;
    const int32_t st = parse_real(s, n, d, v);
    return st != 0 ? st : to_float(v, value);
}

}  // namespace

// ---- single-field writes -------------------------------------------------

void write_i(char *dst, int32_t w, int64_t v) {
    if (dst == nullptr || w <= 0) return;
    char tmp[24];
    int32_t n = 0;
    uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    char rev[24];
    int32_t k = 0;
    do {
        rev[k++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0) tmp[n++] = '-';
    while (k > 0) tmp[n++] = rev[--k];
    right_justify(dst, w, tmp, n);
}

void write_z(char *dst, int32_t w, int64_t v) {
    if (dst == nullptr || w <= 0) return;
    // A negative 32-bit value shows its 32-bit two's-complement form.
    uint64_t u = (v < 0 && v >= std::numeric_limits<int32_t>::min())
                     ? static_cast<uint64_t>(static_cast<uint32_t>(v))
                     : static_cast<uint64_t>(v);
    static constexpr char kHex[] = "0123456789ABCDEF";
    char rev[16];
    int32_t k = 0;
    do {
        rev[k++] = kHex[u & 0xF];
        u >>= 4;
    } while (u != 0);
    char tmp[16];
    int32_t n = 0;
    while (k > 0) tmp[n++] = rev[--k];
    right_justify(dst, w, tmp, n);
}

void write_f(char *dst, int32_t w, int32_t d, double v) {
    if (dst == nullptr || w <= 0) return;
    if (d < 0) d = 0;
    if (!std::isfinite(v) || std::fabs(v) >= 1e30 || d > 40) {
        stars(dst, w);
        return;
    }
    // The exact decimal expansion, far enough past the d-th decimal that the
    // digit after it decides the rounding: halves go away from zero.
    char exact[160];
    std::snprintf(exact, sizeof exact, "%.*f", d + 40, std::fabs(v));
    const char *pt = std::strchr(exact, '.');
    if (pt == nullptr) {  // not expected with a precision above 0
        stars(dst, w);
        return;
    }
    const int32_t intlen = static_cast<int32_t>(pt - exact);
    // digits = integer digits then d decimals, with one spare place in front
    // for a carry.
    char digits[80];
    int32_t nd = 0;
    digits[nd++] = '0';
    for (int32_t k = 0; k < intlen; ++k) digits[nd++] = exact[k];
    for (int32_t k = 0; k < d; ++k) digits[nd++] = pt[1 + k];
    if (pt[1 + d] >= '5') {
        int32_t k = nd - 1;
        while (k >= 0 && digits[k] == '9') digits[k--] = '0';
        if (k >= 0) ++digits[k];
    }
    const int32_t ni = nd - d;  // integer digits incl. the spare place
    int32_t first = 0;          // first significant integer digit
    while (first < ni && digits[first] == '0') ++first;
    bool zero = true;
    for (int32_t k = 0; k < nd; ++k) zero = zero && digits[k] == '0';
    // A value that rounds to zero is written without a minus sign.
    const bool neg = v < 0 && !zero;
    const int32_t int_digits = ni - first;

    char tmp[100];
    int32_t n = 0;
    if (neg) tmp[n++] = '-';
    const int32_t needed = (neg ? 1 : 0) + int_digits + 1 + d;
    if (int_digits == 0 && needed + 1 <= w) tmp[n++] = '0';
    for (int32_t k = first; k < ni; ++k) tmp[n++] = digits[k];
    tmp[n++] = '.';
    for (int32_t k = ni; k < nd; ++k) tmp[n++] = digits[k];
    right_justify(dst, w, tmp, n);
}

// ---- FieldWriter ----------------------------------------------------------

FieldWriter::FieldWriter(char *buf, int32_t len)
    : buf_(buf), len_(buf != nullptr && len > 0 ? len : 0) {
    if (len_ > 0) std::memset(buf_, ' ', static_cast<std::size_t>(len_));
}

void FieldWriter::put(const char *s, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        if (pos_ >= len_) {
            overflow_ = true;
            return;
        }
        buf_[pos_++] = s[k];
    }
}

FieldWriter &FieldWriter::lit(std::string_view s) {
    put(s.data(), static_cast<int32_t>(s.size()));
    return *this;
}

FieldWriter &FieldWriter::chr(char c) {
    put(&c, 1);
    return *this;
}

FieldWriter &FieldWriter::a(const char *s, int32_t w) {
    // w characters of the item; an item that ends early at a NUL is
    // blank-filled to w.
    int32_t k = 0;
    for (; s != nullptr && k < w && s[k] != '\0'; ++k) put(s + k, 1);
    for (; k < w; ++k) put(" ", 1);
    return *this;
}

FieldWriter &FieldWriter::tr(int32_t n) {
    for (int32_t k = 0; k < n; ++k) put(" ", 1);
    return *this;
}

// One fixed-width field, written by write(tmp, w) into a scratch area; a
// field wider than the widest written in one piece gets leading blanks.
template <class Write>
FieldWriter &FieldWriter::field(int32_t w, Write write) {
    if (w > kMaxField) {
        tr(w - kMaxField);
        w = kMaxField;
    }
    if (w > 0) {
        char tmp[kMaxField];
        write(tmp, w);
        put(tmp, w);
    }
    return *this;
}

FieldWriter &FieldWriter::i(int64_t v, int32_t w) {
    return field(w, [v](char *dst, int32_t n) { write_i(dst, n, v); });
}

FieldWriter &FieldWriter::f(double v, int32_t w, int32_t d) {
    return field(w, [v, d](char *dst, int32_t n) { write_f(dst, n, d, v); });
}

FieldWriter &FieldWriter::z(int64_t v, int32_t w) {
    return field(w, [v](char *dst, int32_t n) { write_z(dst, n, v); });
}

// ---- single-field reads ---------------------------------------------------

int32_t read_i(const char *text, int32_t w, int32_t &value) {
    return parse_int(text, field_len(text, w), value);
}

int32_t read_f(const char *text, int32_t w, int32_t d, float &value) {
    return parse_float(text, field_len(text, w), d < 0 ? 0 : d, value);
}

int32_t read_g16(const char *text, int32_t w, float &value) {
    return read_f(text, w < 16 ? w : 16, 7, value);
}

// ---- free-format list read ------------------------------------------------

namespace {
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

ListReader::ListReader(const char *text, int32_t len) : text_(text), len_(field_len(text, len)) {}

// Finds the next item: 1 with start/n set for a value, 0 for an empty item,
// kReadEnd when the text has ended.
int32_t ListReader::next_item(const char *&start, int32_t &n) {
    while (pos_ < len_ && is_space(text_[pos_])) ++pos_;
    // The comma that ends the previous value belongs to that value.
    if (need_sep_) {
        need_sep_ = false;
        if (pos_ < len_ && text_[pos_] == ',') {
            ++pos_;
            while (pos_ < len_ && is_space(text_[pos_])) ++pos_;
        }
    }
    if (pos_ >= len_) return kReadEnd;
    if (text_[pos_] == ',') {  // a leading comma or a second comma: empty item
        ++pos_;
        return 0;
    }
    const int32_t b = pos_;
    while (pos_ < len_ && !is_space(text_[pos_]) && text_[pos_] != ',') ++pos_;
    start = text_ + b;
    n = pos_ - b;
    need_sep_ = true;
    return 1;
}

// Reads the next item with convert(start, n); an empty item leaves the
// variable unchanged, and the first failure stays for every later item.
template <class Convert>
int32_t ListReader::read_item(Convert convert) {
    if (status_ != 0) return status_;
    const char *s = nullptr;
    int32_t n = 0;
    const int32_t r = next_item(s, n);
    if (r == kReadEnd) return status_ = kReadEnd;
    if (r == 0) return 0;
    return status_ = convert(s, n);
}

int32_t ListReader::real(float &v) {
    return read_item([&v](const char *s, int32_t n) { return parse_float(s, n, 0, v); });
}

int32_t ListReader::integer(int32_t &v) {
    return read_item([&v](const char *s, int32_t n) { return parse_int(s, n, v); });
}

}  // namespace gonioctl
