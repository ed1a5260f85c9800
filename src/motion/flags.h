// Drive command flags: the closing line of a drive built around its scan
// command, and the two controller waits (lead and trail delay) put into it.
#pragma once

#include <cstdint>

namespace gonioctl {

// Flag word bits acted on by ADDFLAGS (bit 1 asks for the counting command
// and is left to the drive request).
inline constexpr int32_t kFlagCount = 1;
inline constexpr int32_t kFlagGate = 2;         // detector gate on with lead/trail waits
inline constexpr int32_t kFlagShutterOff = 4;   // shutter line 1 off after the scan
inline constexpr int32_t kFlagRewind = 8;       // drive the scan circle back afterwards
inline constexpr int32_t kFlagShutterOn = 16;   // lines 3 and 1 on before the scan
inline constexpr int32_t kFlagCounter = 32;     // "I -1" first
inline constexpr int32_t kFlagAttenuator = 64;  // lines 3 and 4 on before the scan

struct DriveFlagState {
    int32_t lead_delay = 0;   // ms after the gate opens, before the shutter
    int32_t trail_delay = 0;  // ms after the scan, before the gate closes
    int32_t add_time = 0;     // stored for the host only
};

extern constinit DriveFlagState g_flags;

// Builds the line: "I -1", gate on and lead wait, shutter or attenuator on,
// the scan command, shutter off, trail wait and gate off, rewind. ier is 0,
// or code 32 when the line fills the whole buffer.
void ADDFLAGS(const char *scan, int32_t scanlen, int32_t flags, int32_t circle, float delta,
              char *buffer, int32_t buflen, int32_t &ier);

void gcaddflags_get_delay(int32_t &lead, int32_t &trail);
void gcaddflags_set_delay(int32_t lead, int32_t trail);
void gcaddflags_get_addtime(int32_t &value);
void gcaddflags_set_addtime(int32_t value);

}  // namespace gonioctl
