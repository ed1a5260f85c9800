// Helpers for fixed-length, blank-padded texts that may end early at a NUL.
// A text is an address and a length; positions count from 1 as in the
// command language, and 0 means "none".
#pragma once

#include <cstddef>
#include <cstdint>

namespace gonioctl {

// Significant length: up to the last non-blank, or the count before the first NUL.
int32_t TRIMLEN(const char *text, int32_t len);
// Position of the first character (of the significant part) in the set, 0 if none.
int32_t SCANSET(const char *text, int32_t len, const char *set, int32_t setlen);
// Position of the first character (of the significant part) not in the set, 0 if none.
int32_t SKIPSET(const char *text, int32_t len, const char *set, int32_t setlen);
// Upper-case code of a to z; every other code unchanged.
int32_t UPCHAR(int32_t code);
// Case-insensitive comparison of the first min(len1, len2, n) characters: -1, 0, +1.
int32_t CASECMP(const char *t1, int32_t len1, const char *t2, int32_t len2, int32_t n);
// Removes leading blanks and tabs in place, blank-filling the rest.
void LEFTJUST(char *text, int32_t len);
// Appends the source after the significant part of the destination, blank-filling the rest.
void CMD_APPEND(const char *src, int32_t srclen, char *dst, int32_t dstlen);
// Reads one number from a reply field: 0, -1 (no token) or a status number.
int32_t READREAL(const char *text, int32_t len, float &value);
// Status number of a read status: 599 end of data, 0, status + 2000, or >= 1000 as is.
int32_t ERR_IOSTAT(int32_t status);
// Copies count bytes; overlapping areas are handled as a move.
void MEMCOPY(void *dst, const void *src, int32_t count);

// Fills len characters with blanks.
void blank_fill(char *text, int32_t len);
// Copies a source into a blank-padded field, cut to fit: srclen characters,
// or up to the NUL when srclen is negative.
void set_text(char *field, int32_t len, const char *src, int32_t srclen);

// Length of a character array field, as the 32-bit length the helpers take.
template <std::size_t N>
constexpr int32_t length_of(const char (&)[N]) {
    return static_cast<int32_t>(N);
}

}  // namespace gonioctl
