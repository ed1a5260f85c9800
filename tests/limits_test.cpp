// Software limits: the block's load values, storing and reading back, and
// the full-range view of unrestricted circles.
#include "gonio/limits.h"

#include <gtest/gtest.h>

#include "core/state.h"
#include "gonioctl.h"
#include "support/sim_fixture.h"

namespace gonioctl {
namespace {

TEST(Limits, LoadValuesInEntryPointOrder) {
    float low[5], high[5];
    ::gcgetlimits(low, high);
    const float want_low[5] = {-110.0f, -57.5f, 0.0f, 0.0f, -58.0f};
    const float want_high[5] = {110.0f, 57.5f, 0.0f, 0.0f, 58.0f};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(low[k], want_low[k]) << k;
        EXPECT_EQ(high[k], want_high[k]) << k;
    }
}

TEST(Limits, SetWithLinkClosedStoresEveryPairForTheCheck) {
    g_state.gonio_type = 2;  // chi is stored even without a chi circle
    const float low[5] = {-100.0f, -50.0f, -10.0f, -20.0f, -40.0f};
    const float high[5] = {100.0f, 50.0f, 10.0f, 20.0f, 40.0f};
    ::gcsetlimits(low, high);
    float got_low[5], got_high[5];
    ::gcgetlimits(got_low, got_high);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(got_low[k], low[k]) << k;
        EXPECT_EQ(got_high[k], high[k]) << k;
    }
    // The collision check sees the new pairs at its next call.
    g_state.link_open = 1;
    const float angles[4] = {0.0f, 0.0f, 15.0f, 0.0f};
    int32_t ier = 0;
    ::gcchklimits(angles, 0, &ier);
    g_state.link_open = 0;
    EXPECT_NE(ier, 0);
}

TEST(Limits, FullLimitsShowUnrestrictedCirclesAsFullTurn) {
    const float low[5] = {-110.0f, -57.5f, 0.0f, -10.0f, 0.0f};
    const float high[5] = {110.0f, 57.5f, 0.0f, 0.0f, 0.0f};
    ::gcsetlimits(low, high);
    float got_low[5], got_high[5];
    ::gcgetfulllimits(got_low, got_high);
    EXPECT_EQ(got_low[2], -360.0f);  // phi 0/0
    EXPECT_EQ(got_high[2], 360.0f);
    EXPECT_EQ(got_low[3], -10.0f);  // chi -10/0 stays
    EXPECT_EQ(got_high[3], 0.0f);
    EXPECT_EQ(got_low[4], 0.0f);  // the coupled pair is shown as stored
    EXPECT_EQ(got_high[4], 0.0f);
    EXPECT_EQ(got_low[0], -110.0f);
}

class LimitCommands : public SimTest {};

TEST_F(LimitCommands, LoadValuesGoOutAsAxisAndCoupledCommands) {
    open_link();
    float low[5], high[5];
    ::gcgetlimits(low, high);
    ::gcsetlimits(low, high);
    EXPECT_EQ(sent_lines(),
              (Lines{"B1,-110.000 110.000\r", "B2, -57.500  57.500\r", "B3,   0.000   0.000\r",
                     "B4,   0.000   0.000\r", "L  -58.000  58.000\r"}))
        << show(sent_lines());
    wait_idle();
    const goniosim::Model m = model();
    EXPECT_EQ(m.axes[1].low, -110.0);
    EXPECT_EQ(m.axes[2].high, 57.5);
    EXPECT_EQ(m.coupled_low, -58.0);
    EXPECT_EQ(m.coupled_high, 58.0);
}

TEST_F(LimitCommands, NoChiCommandWithoutChiAndStarsForABoundThatDoesNotFit) {
    open_link();
    int32_t type = 2;
    ::gcset_goniometer(&type);
    const float low[5] = {-1000.0f, -50.0f, -10.0f, -20.0f, -40.0f};
    const float high[5] = {110.0f, 50.0f, 10.0f, 20.0f, 40.0f};
    ::gcsetlimits(low, high);
    EXPECT_EQ(sent_lines(), (Lines{"B1,******** 110.000\r", "B2, -50.000  50.000\r",
                                   "B3, -10.000  10.000\r", "L  -40.000  40.000\r"}))
        << show(sent_lines());
    float got_low[5], got_high[5];
    ::gcgetlimits(got_low, got_high);
    EXPECT_EQ(got_low[3], -20.0f);  // chi stored all the same
    EXPECT_EQ(got_high[3], 20.0f);
}

}  // namespace
}  // namespace gonioctl
