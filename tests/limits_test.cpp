// Software limits: the block's load values, storing and reading back, and
// the full-range view of unrestricted circles.
#include "gonio/limits.h"

#include <gtest/gtest.h>

#include "core/state.h"
#include "gonioctl.h"

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

}  // namespace
}  // namespace gonioctl
