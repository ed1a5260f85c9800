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

// Sets the controller's angles (three or four circles by goniometer type),
// refreshes the stored angle set and clears the need-update flag.
void gcupdate(const float requested[4], float reported[4], int32_t &ier);
// Reads the two reference values.
void gcreadref(int32_t &first, int32_t &second, int32_t &ier);

// Length of the numeric part of a reply record: the characters before its
// first CR, else its significant length but at least one character.
int32_t numeric_part_length(const char *reply, int32_t len);

}  // namespace gonioctl
