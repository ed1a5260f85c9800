// Angle read-out and the need-update flag.
#pragma once

#include <cstdint>

namespace gonioctl {

// Reduction into [0, m): fmod with the sign of x, then + m when negative.
float ANGLE_MOD(float x, float m);
// Reads the angles; a failed read leaves the stored angle set at its last good values.
void gcreada(float angles[4], int32_t &ier);
// Sets the need-update flag while the link is open.
void gcset_needupdate(int32_t flag);
// Stores the need-update flag into flag while the link is open.
void gc_needupdate(int32_t &flag);

}  // namespace gonioctl
