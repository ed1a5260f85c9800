// Detector-distance stage: the stage flag decided once from the environment
// (each TEST runs in a process of its own, so the flag starts undecided).
#include "gonio/stage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "core/format.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"
#include "support/sim_fixture.h"

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

// A motorized stage declared through VESK_STAGE before the first stage call.
class Stage : public SimTest {
  protected:
    void SetUp() override {
        unsetenv("VESK$STAGE");
        setenv("VESK_STAGE", "motor", 1);
        SimTest::SetUp();
    }
};

TEST_F(Stage, DriveCommandScalesThePositionAndBoundsTheSpeed) {
    open_link();
    struct Case {
        float speed;
        const char *line;
    };
    const Case cases[] = {
        {10.0f, "S5   10.00000 F5   250.00\r"},
        {0.0f, "S5    0.00100 F5   250.00\r"},
        {5000.0f, "S5 3600.00000 F5   250.00\r"},
    };
    for (const Case &c : cases) {
        clear_sent();
        int32_t ier = -99;
        ::gcsetdistance(25.0f, c.speed, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(sent_lines(), (Lines{c.line, "D\r"})) << show(sent_lines());
    }
    wait_idle();
    EXPECT_EQ(model().axes[5].position, 250.0);
}

TEST_F(Stage, LimitsAreSetScaledAndReadBackFromTwoRecords) {
    open_link();
    int32_t ier = -99;
    ::gcsetdistlimits(10.0f, 80.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(), (Lines{"B5   100.00  800.00\r"})) << show(sent_lines());

    clear_sent();
    float low = 0.0f, high = 0.0f;
    ::gcgetdistlimits(&low, &high, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(), (Lines{"B5 \r"}));
    EXPECT_FLOAT_EQ(low, 10.0f);
    EXPECT_FLOAT_EQ(high, 80.0f);
}

TEST_F(Stage, UpdateTellsThePositionThenReadsItBack) {
    open_link();
    float reported = 0.0f;
    int32_t ier = -99;
    ::gcupdate_dist(25.0f, &reported, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(), (Lines{"U5,  250.000\r", "P5 \r"})) << show(sent_lines());
    EXPECT_FLOAT_EQ(reported, 25.0f);
}

TEST_F(Stage, PositionRepliesAreReadAsFixedPointWithThreeImpliedDecimals) {
    open_link();
    struct Case {
        const char *reply;
        int32_t ier;  // 0, or nonzero for a read failure
        float distance;
    };
    const Case cases[] = {
        {"250.00\r", 0, 25.0f},
        {"25000\r", 0, 2.5f},            // no point: the last three digits are decimals
        {" 123.456999\r", 0, 12.3456f},  // only the first 8 characters count
        {"\r", 1, 0.0f},                 // empty numeric part
        {"abc\r", 1, 0.0f},
    };
    for (const Case &c : cases) {
        clear_sent();
        sim().queue_reply(c.reply);
        float distance = 7.0f;
        int32_t ier = -99;
        ::gcgetdistance(&distance, &ier);
        EXPECT_EQ(sent_lines(), (Lines{"P5 \r"}));
        if (c.ier == 0) {
            EXPECT_EQ(ier, 0) << show(c.reply);
        } else {
            EXPECT_NE(ier, 0) << show(c.reply);
            EXPECT_NE(ier, -1) << show(c.reply);  // -1 means "no stage", not a bad reply
        }
        EXPECT_FLOAT_EQ(distance, c.distance) << show(c.reply);
    }
}

TEST_F(Stage, PositionOrLimitThatDoesNotFitItsFieldIsRefusedUnsent) {
    open_link();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // The position goes out x10 in 8 characters with 2 decimals (9 with 3 for
    // the update): 9999.999 fits, 10000.0 and -1000.0 do not.
    for (float bad : {nan, inf, -inf, 10000.0f, -1000.0f, 1.0e30f}) {
        clear_sent();
        int32_t ier = -99;
        ::gcsetdistance(bad, 10.0f, &ier);
        EXPECT_EQ(ier, kInvalidArgument) << bad;
        ier = -99;
        ::gcsetdistlimits(0.0f, bad, &ier);
        EXPECT_EQ(ier, kInvalidArgument) << bad;
        ier = -99;
        ::gcsetdistlimits(bad, 0.0f, &ier);
        EXPECT_EQ(ier, kInvalidArgument) << bad;
        float reported = 7.0f;
        ier = -99;
        ::gcupdate_dist(bad, &reported, &ier);
        EXPECT_EQ(ier, kInvalidArgument) << bad;
        EXPECT_EQ(reported, 7.0f);
        EXPECT_EQ(sent_lines(), Lines{}) << bad << show(sent_lines());
    }
    int32_t ier = -99;
    ::gcsetdistance(9999.9f, 10.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(), (Lines{"S5   10.00000 F5 99999.00\r", "D\r"})) << show(sent_lines());
}

TEST_F(Stage, SecondLimitRecordMissingAssignsNothing) {
    open_link();
    sim().queue_reply(" 100.000\r\r");
    float low = 7.0f, high = 7.0f;
    int32_t ier = -99;
    ::gcgetdistlimits(&low, &high, &ier);
    EXPECT_EQ(ier, ERR_IOSTAT(kReadEnd));
    EXPECT_EQ(low, 0.0f);
    EXPECT_EQ(high, 0.0f);
}

}  // namespace
}  // namespace gonioctl
