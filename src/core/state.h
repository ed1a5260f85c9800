// Library-wide records: the controller state shared by every area, and the
// link data private to the controller link. Both are constant-initialised
// with their load values; nothing here runs at start-up or allocates.
#pragma once

#include <cstdint>

namespace gonioctl {

// Facility number of the library's own error values.
inline constexpr int32_t kFacility = 1101;

// Goniometer types: 3 is the only type with a chi circle, 4 the fine one.
inline constexpr int32_t kGonioMin = 2;
inline constexpr int32_t kGonioMax = 4;

// Status for a null pointer passed where the host must supply an input
// (numbered like ERROR_INVALID_PARAMETER of the OS error family).
inline constexpr int32_t kInvalidArgument = 87;

struct ControllerState {
    float angles[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // stored angle set, 0..360 degrees
    int32_t link_open = 0;                       // 1 while the serial port is open
    int32_t need_update = 1;                     // nonzero: update angles before driving
    int32_t override_value = 0;                  // host's last override request
    int32_t readings_outstanding = 0;            // -nreadings while counting, up to 0
    int32_t reading_number = 0;                  // 1 at the counting command, counted up
    int32_t readings_received = 0;               // 0 at the counting command, counted up
    int32_t gonio_type = 3;                      // 2..4, written only by gcset_goniometer
};

// Number of circles in use: 4 on the type with a chi circle, else 3.
inline int32_t circles_in_use(const ControllerState &s) {
    return s.gonio_type == 3 ? 4 : 3;
}

struct LinkData {
    int fd = -1;                    // descriptor of the open serial device, -1 when none
    char port_name[6] = "COM1:";    // device the next gcopen opens, NUL-terminated
    int32_t trace_level = 0;        // DBGLEVEL, valid once trace_level_read is set
    bool trace_level_read = false;  // the trace level is read on first use
    int32_t reg_trace_level = -1;   // registration trace level, -1 = not yet read
};

extern constinit ControllerState g_state;
extern constinit LinkData g_link;

}  // namespace gonioctl
