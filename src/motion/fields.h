// Whether a value can be written in a fixed-width command field. A value too
// wide for its field (or not a number) goes out as a row of asterisks, which
// the controller cannot take for the value meant: such input is refused
// before anything is sent.
#pragma once

#include <cstdint>

#include "core/format.h"

namespace gonioctl {

inline bool fits_f(double v, int32_t w, int32_t d) {
    char field[32];
    if (w <= 0 || w > 32) return false;
    write_f(field, w, d, v);
    return field[0] != '*';
}

inline bool fits_i(int64_t v, int32_t w) {
    char field[32];
    if (w <= 0 || w > 32) return false;
    write_i(field, w, v);
    return field[0] != '*';
}

}  // namespace gonioctl
