// Error values: composition, splitting, the message table, and the decoding
// of the two status words of an angle reply.
#pragma once

#include <cstdint>

namespace gonioctl {

// facility * 65536 + code; reports the value (error report, trace level >= 1).
int32_t ERR_MAKE(int32_t facility, int32_t code);
// ERR_MAKE(kFacility, code): the library's own error value for a code 1..36.
int32_t GCERR(int32_t code);
// Upper 16 bits (unsigned) and lower 16 bits of an error value.
void ERR_SPLIT(int32_t value, int32_t &facility, int32_t &code);
// The 64-character table text of code 1..36 (not NUL-terminated), or nullptr.
const char *message_text(int32_t code);
// Writes the 128-character blank-padded text of a value; 0 leaves text untouched.
void gcget_error_text(int32_t value, char *text);
// Error value of the two status words of an angle reply (reported rows go to trace_cb).
int32_t GCSTATERR(int32_t word1, int32_t word2);

}  // namespace gonioctl
