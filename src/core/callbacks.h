// The nine host callback slots. Every call goes through one guarded helper
// per slot: an empty slot is skipped, and an empty interrupt or idle slot
// answers 0.
#pragma once

#include <cstdint>

#include "gonioctl.h"

namespace gonioctl {

struct CallbackSlots {
    gc_angles_cb angles = nullptr;
    gc_motion_cb motion = nullptr;
    gc_shutter_cb shutter = nullptr;
    gc_attenuator_cb attenuator = nullptr;
    gc_spare_cb spare = nullptr;
    gc_interrupt_cb interrupt = nullptr;
    gc_idle_cb idle = nullptr;
    gc_set_interrupt_cb set_interrupt = nullptr;
    gc_trace_cb trace = nullptr;
};

extern constinit CallbackSlots g_callbacks;

void notify_angles(const float *angles);
void notify_motion(int32_t mask);
void notify_shutter(int32_t state);
void notify_attenuator(int32_t state);
int32_t ask_interrupt();
int32_t ask_idle();
void set_interrupt(int32_t state);
void notify_trace(const char *text, int32_t len);

// Work functions of the exported gc_callbacks and gcwait_anykey.
int32_t gc_callbacks(gc_angles_cb angles, gc_motion_cb motion, gc_shutter_cb shutter,
                     gc_attenuator_cb attenuator, gc_spare_cb spare, gc_interrupt_cb interrupt,
                     gc_idle_cb idle, gc_set_interrupt_cb set_interrupt, gc_trace_cb trace);
int32_t gcwait_anykey();

}  // namespace gonioctl
