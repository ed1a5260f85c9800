// Homing, encoder set and manual mode.
#pragma once

#include <cstdint>

namespace gonioctl {

// Homes circle 1..4 at speed and waits for the controller's angle reply.
void gchome_axis(int32_t circle, float speed, int32_t &ier);
// Sets the encoder of circle to value degrees.
void gcencoder_set(int32_t circle, float value, int32_t &ier);
// Sends the manual-mode speeds (four circles, the stage as axis 5 when it
// is motorized) and the manual-mode command.
void gcmanual_mode(const int32_t params[2], const float speeds[5], int32_t &ier);

}  // namespace gonioctl
