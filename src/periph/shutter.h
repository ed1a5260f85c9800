// Shutter and attenuator: output lines 1 (shutter), 3 (switched on before
// the shutter or attenuator opens) and 4 (attenuator) of the controller.
#pragma once

#include <cstdint>

namespace gonioctl {

// What the library knows of the shutter and attenuator. Written only by the
// routines declared below.
struct ShutterState {
    int32_t open = 0;        // 1 after an opening command was sent, 0 after a closing one
    float open_time = 0.0f;  // seconds-of-day clock when the last opening command went out
    int32_t delay_ms = 0;    // delay of the last delayed command (0 after gcshutter)
    int32_t attenuator = 0;  // 1 after gcinat, 0 after a closing command
};

extern constinit ShutterState g_shutter;

// Opens (any mode but 0 and -9999) or closes (0, -9999) the shutter.
void gcshutter(int32_t mode, int32_t &ier);
// As gcshutter, the controller waiting delay milliseconds first.
void gcshutter_delayed(int32_t mode, int32_t delay, int32_t &ier);
// Shutter-open flag and seconds open (minus the delay, never negative).
void gcshut_status(int32_t &state, float &seconds);
// Opens the shutter and puts the attenuator in.
void gcinat(int32_t &ier);
// Attenuator flag while the link is open, else 0.
void gcattn_status(int32_t &state);
// Delayed attenuated opening or delayed closing; keeps no state.
void gcatten_delayed(int32_t mode, int32_t delay, int32_t &ier);
// Stores the attenuator flag while the link is open.
void set_attenuator_flag(int32_t value);

}  // namespace gonioctl
