// Settings from the process environment, read by name.
#pragma once

#include <cstdint>

namespace gonioctl {

// Full translation: "$" -> "_" fallback and a chain of at most 16 lookups.
void ENV_TRANSLATE(const char *name, int32_t namelen, char *value, int32_t valuelen,
                   int32_t &status);
// One lookup with the "_" fallback; the value is blank when nothing was found.
void ENV_LOOKUP(const char *name, int32_t namelen, char *value, int32_t valuelen);
// Reads one variable into a NUL-terminated copy of at most capacity - 1 characters.
void ENV_READ(const char *name, int32_t capacity, char *result, int32_t &status);
// Reads an unsigned integer in the radix; pos = position of the rightmost bad character.
void READRADIX(const char *text, int32_t len, int32_t radix, int32_t &value, int32_t &pos);
// Upper-cases the significant part of a text in place.
void UPCASE(char *text, int32_t len);

}  // namespace gonioctl
