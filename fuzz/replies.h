// Shared checks of the reply fuzz targets.
#pragma once

#include <cmath>
#include <cstdlib>

#include "core/state.h"

namespace fuzzline {

// No reply, however malformed, may leave angles that are not numbers in the
// stored angle set: later drives compute distances from them.
inline void check_stored_angles() {
    for (float a : gonioctl::g_state.angles) {
        if (!std::isfinite(a)) std::abort();
    }
}

}  // namespace fuzzline
