// Host callbacks for tests that check what the library reports to the host:
// each call is recorded in order as a line of text ("motion 3", "shutter 1",
// "set_interrupt 0"), and the host's interrupt state is a variable the
// library reads through on_interrupt and sets through on_set_interrupt.
// Every test case runs in a process of its own; a fixture calls
// reset_host_callbacks() in its set-up all the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> g_events;
// Atomic: a test may set it from a second thread while the library waits.
inline std::atomic<int32_t> g_host_interrupt{0};

inline void reset_host_callbacks() {
    g_events.clear();
    g_host_interrupt = 0;
}

// The library's own error value for code (facility 1101 in the high half),
// written out here rather than taken from the library under test.
constexpr int32_t error_code(int32_t code) {
    return 1101 * 65536 + code;
}

// "angles" alone, for tests that only need to know the angles were reported.
inline void on_angles(const float *) {
    g_events.push_back("angles");
}
// An angle as the recorder writes it ("%g": 11, 12.5).
inline std::string angle_text(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}
// "angles 11 12 13 14": the four angles as reported.
inline void on_angle_values(const float *a) {
    g_events.push_back("angles " + angle_text(a[0]) + " " + angle_text(a[1]) + " " +
                       angle_text(a[2]) + " " + angle_text(a[3]));
}
inline void on_motion(const int32_t *mask) {
    g_events.push_back("motion " + std::to_string(*mask));
}
inline void on_shutter(const int32_t *state) {
    g_events.push_back("shutter " + std::to_string(*state));
}
inline void on_attenuator(const int32_t *state) {
    g_events.push_back("attenuator " + std::to_string(*state));
}
inline int32_t on_interrupt() {
    return g_host_interrupt;
}
inline void on_set_interrupt(const int32_t *state) {
    g_host_interrupt = *state;
    g_events.push_back("set_interrupt " + std::to_string(*state));
}

}  // namespace testsupport
