// The closing line of a drive built around its scan command, and the delay
// and add-time values the host keeps in the library.
#include "motion/flags.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/errors.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"

namespace gonioctl {
namespace {

std::string padded(const std::string &s, size_t len) {
    return s + std::string(len - s.size(), ' ');
}

struct LineCase {
    int32_t type;
    int32_t flags;
    int32_t circle;
    float delta;
    int32_t lead;
    int32_t trail;
    const char *scan;
    const char *line;  // the buffer up to its last non-blank character
};

// Shows a case by its type, flags and expected line in listings and failures.
void PrintTo(const LineCase &c, std::ostream *os) {
    *os << "type " << c.type << " flags " << c.flags << " [" << c.line << "]";
}

class AddFlagsLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(AddFlagsLine, BuildsTheLine) {
    const LineCase &c = GetParam();
    g_state.gonio_type = c.type;
    g_flags.lead_delay = c.lead;
    g_flags.trail_delay = c.trail;
    const std::string scan = padded(c.scan, 120);
    char buffer[120];
    int32_t ier = -1;
    ADDFLAGS(scan.data(), 120, c.flags, c.circle, c.delta, buffer, 120, ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(std::string(buffer, 120), padded(c.line, 120));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, AddFlagsLine,
    ::testing::Values(
        LineCase{3, 0, 2, 0.0f, 0, 0, "D", "D"},
        LineCase{3, 1, 2, 0.0f, 0, 0, "D", "D"},  // counting bit is not this line's
        LineCase{3, 22, 2, 0.0f, 100, 50, "D", "W+7 WA   100 W+3,W+1 D W-1 WA    50 W-7"},
        LineCase{3, 80, 2, 0.0f, 0, 0, "D", "W+3,W+4 D"},
        LineCase{3, 64, 2, 0.0f, 0, 0, "D", "W+3,W+4 D"},
        LineCase{3, 32, 2, 0.0f, 0, 0, "D", "I -1 D"},
        LineCase{3, 2, 2, 0.0f, -20, 0, "D", "W+7 WA   -20 D WA     0 W-7"},
        LineCase{3, 2, 2, 0.0f, 100000, -10000, "D", "W+7 WA ***** D WA ***** W-7"},
        LineCase{3, 8, 2, 10.0f, 0, 0, "D", "D S2  300 A2  -10.500 D A2    0.500 D"},
        LineCase{3, 8, 2, -10.0f, 0, 0, "D", "D S2  300 A2   10.500 D A2   -0.500 D"},
        LineCase{3, 8, 1, 10.0f, 0, 0, "D", "D S1  150 A1  -10.500 D A1    0.500 D"},
        LineCase{2, 8, 2, 10.0f, 0, 0, "D", "D S2  600 A2  -10.500 D A2    0.500 D"},
        LineCase{4, 8, 2, 1.25f, 0, 0, "D", "D S2  600 A2   -1.7500 D A2    0.5000 D"},
        // An oscillation command keeps its own leading blank after the separator.
        LineCase{2, 16, 2, -20.0f, 0, 0, " O2 -20.000  10.000   250",
                 "W+3,W+1  O2 -20.000  10.000   250"},
        LineCase{2, 0, 2, -20.0f, 0, 0, " O2 -20.000  10.000   250", " O2 -20.000  10.000   250"},
        LineCase{4, 126, 3, -360.0f, -9999, -9999, " O3-360.000  10.000999999",
                 "I -1 W+7 WA -9999 W+3,W+4  O3-360.000  10.000999999 W-1 WA -9999 W-7 S3  600 "
                 "A3  360.5000 D A3   -0.5000 D"}));

TEST(AddFlags, LineFillingTheBufferIsTooLong) {
    g_state.gonio_type = 3;
    const std::string scan = padded("D", 120);
    char buffer[12];
    int32_t ier = 0;
    ADDFLAGS(scan.data(), 120, 2, 2, 0.0f, buffer, 12, ier);
    EXPECT_EQ(ier, GCERR(32));
    EXPECT_EQ(std::string(buffer, 12), "W+7 WA     0");

    char roomy[40];
    ADDFLAGS(scan.data(), 120, 2, 2, 0.0f, roomy, 40, ier);
    EXPECT_EQ(ier, 0);
}

TEST(AddFlagsEntryPoints, DelaysAndAddTimeRoundTrip) {
    int32_t lead = -1, trail = -1;
    EXPECT_EQ(::gcaddflags_get_delay(&lead, &trail), 0);
    EXPECT_EQ(lead, 0);
    EXPECT_EQ(trail, 0);

    const int32_t set_lead = 250, set_trail = 40;
    ::gcaddflags_set_delay(&set_lead, &set_trail);
    ::gcaddflags_get_delay(&lead, &trail);
    EXPECT_EQ(lead, 250);
    EXPECT_EQ(trail, 40);

    // Missing pointers: an output is dropped, an input leaves its value alone.
    ::gcaddflags_get_delay(nullptr, &trail);
    ::gcaddflags_set_delay(nullptr, &set_lead);
    ::gcaddflags_get_delay(&lead, &trail);
    EXPECT_EQ(lead, 250);
    EXPECT_EQ(trail, 250);

    const int32_t seven = 7;
    int32_t value = 0;
    ::gcaddflags_set_addtime(&seven);
    ::gcaddflags_get_addtime(&value);
    EXPECT_EQ(value, 7);
    ::gcaddflags_set_addtime(nullptr);
    ::gcaddflags_get_addtime(nullptr);
    ::gcaddflags_get_addtime(&value);
    EXPECT_EQ(value, 7);
}

}  // namespace
}  // namespace gonioctl
