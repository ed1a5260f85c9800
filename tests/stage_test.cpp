// Detector-distance stage: the stage flag decided once from the environment
// (each TEST runs in a process of its own, so the flag starts undecided).
#include "gonio/stage.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/state.h"
#include "gonioctl.h"

namespace gonioctl {
namespace {

void clear_stage_setting() {
    unsetenv("VESK$STAGE");
    unsetenv("VESK_STAGE");
}

TEST(StageFlag, AbsentSettingMeansNoStageForTheLifeOfTheLibrary) {
    clear_stage_setting();
    EXPECT_EQ(::gc_stage_is_motorized(), 0);
    setenv("VESK_STAGE", "motor", 1);  // too late: the flag is decided
    EXPECT_EQ(::gc_stage_is_motorized(), 0);

    // Without a stage every entry point returns at once, even with the link open.
    g_state.link_open = 1;
    float distance = 7.0f, low = 7.0f, high = 7.0f, reported = 7.0f;
    int32_t ier = 99;
    ::gcgetdistance(&distance, &ier);
    EXPECT_EQ(ier, -1);
    EXPECT_EQ(distance, 0.0f);
    ier = 99;
    ::gcgetdistlimits(&low, &high, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(low, 0.0f);
    EXPECT_EQ(high, 0.0f);
    ier = 99;
    ::gcsetdistance(25.0f, 10.0f, &ier);
    EXPECT_EQ(ier, 0);
    ier = 99;
    ::gcupdate_dist(25.0f, &reported, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(reported, 7.0f);
    g_state.link_open = 0;
}

TEST(StageFlag, UnderscoreSettingDeclaresTheStageOnce) {
    clear_stage_setting();
    setenv("VESK_STAGE", "motor", 1);
    EXPECT_EQ(::gc_stage_is_motorized(), 1);
    clear_stage_setting();
    EXPECT_EQ(::gc_stage_is_motorized(), 1);
    EXPECT_EQ(stage_is_motorized(), 1);
}

TEST(StageFlag, BlankSettingCountsAsAbsent) {
    clear_stage_setting();
    setenv("VESK_STAGE", "   ", 1);
    EXPECT_EQ(::gc_stage_is_motorized(), 0);
}

TEST(StageFlag, ClosedLinkSendsNothingAndReportsMinusOneForTheDistance) {
    setenv("VESK_STAGE", "motor", 1);
    float distance = 7.0f;
    int32_t ier = 0;
    ::gcgetdistance(&distance, &ier);
    EXPECT_EQ(ier, -1);
    EXPECT_EQ(distance, 0.0f);
    ::gcsetdistlimits(1.0f, 2.0f, &ier);
    EXPECT_EQ(ier, 0);
}

}  // namespace
}  // namespace gonioctl
