// Homing, encoder set and manual mode: command bytes, the homing status in
// the last field of the reply, and the interrupted homing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "core/state.h"
#include "gonioctl.h"
#include "support/host_callbacks.h"
#include "support/sim_fixture.h"

namespace {

using testsupport::error_code;

int32_t g_host_interrupt = 0;
int32_t on_interrupt() {
    return g_host_interrupt;
}
void on_set_interrupt(const int32_t *state) {
    g_host_interrupt = *state;
}

const std::string kAngles = "  10.000   20.000   30.000   40.000";

class HomingTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        g_host_interrupt = 0;
        open_link();
        gcset_needupdate(0);
    }

    // Homes with the reply already on the line, so the exact record is the
    // one read; the simulator's own answer is discarded afterwards.
    int32_t home_with_reply(int32_t circle, float speed, const std::string &reply) {
        wait_idle();
        gcflush();
        clear_sent();
        sim().send(reply);
        int32_t ier = -99;
        gchome_axis(circle, speed, &ier);
        return ier;
    }
};

TEST_F(HomingTest, HomingCommandThenAngleRequest) {
    struct {
        int32_t circle;
        float speed;
        const char *line;
    } cases[] = {
        {3, 10.0f, "HM3,  10.0\r"},
        {2, 5.0f, "HM2,   5.0\r"},
        {1, 1000.0f, "HM1,1000.0\r"},
        {4, -10.0f, "HM4, -10.0\r"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(home_with_reply(c.circle, c.speed, kAngles + "     0     0\r"), 0);
        EXPECT_EQ(show(sent_lines()), show(Lines{c.line, "U0,0.0\r"}));
    }
}

// A circle or speed that its field cannot hold would go out as asterisks:
// the homing is refused before anything is sent.
TEST_F(HomingTest, UnwritableCircleOrSpeedIsRefused) {
    struct {
        int32_t circle;
        float speed;
    } cases[] = {
        {1, 123456.0f},
        {1, std::numeric_limits<float>::infinity()},
        {1, std::numeric_limits<float>::quiet_NaN()},
        {10, 5.0f},
        {-1, 5.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.circle);
        EXPECT_EQ(home_with_reply(c.circle, c.speed, kAngles + "     0     0\r"), 87);
        EXPECT_EQ(sent_bytes(), "");
    }
}

TEST_F(HomingTest, LastFieldOfTheReplyIsTheHomingStatus) {
    struct {
        std::string reply;
        int32_t ier;
    } cases[] = {
        {kAngles + "     0     0\r", 0},
        {kAngles + "     0    64\r", 0},
        {kAngles + "     0   128\r", error_code(23)},
        {kAngles + "     0   384\r", error_code(23)},
        {"128\r", error_code(23)},           // no blank: the whole text is the field
        {kAngles + "     0     0 \r", -1},   // empty field
        {"\r", -1},                          // empty reply
        {kAngles + " ,\r", -1},              // a lone comma is no status either
        {kAngles + "     0  12.5\r", 2064},  // not an integer
        {kAngles + "     0   abc\r", 2064},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.reply));
        EXPECT_EQ(home_with_reply(3, 10.0f, c.reply), c.ier);
    }
}

TEST_F(HomingTest, NeedUpdateRefusesAndSendsNothing) {
    gcset_needupdate(1);
    int32_t ier = -1;
    gchome_axis(2, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(7));
    EXPECT_EQ(sent_bytes(), "");
}

TEST_F(HomingTest, InterruptedHomingResetsAndLosesTheAngles) {
    gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, on_interrupt, nullptr,
                 on_set_interrupt, nullptr);
    g_host_interrupt = 1;
    int32_t ier = -1;
    gchome_axis(3, 10.0f, &ier);
    EXPECT_EQ(ier, error_code(36));
    const std::string bytes = sent_bytes();
    EXPECT_EQ(show(bytes.substr(0, 19)), show("HM3,  10.0\rU0,0.0\r\x07"));
    EXPECT_EQ(g_host_interrupt, 1);  // the reset held it off and gave it back
    int32_t flag = 0;
    gc_needupdate(&flag);
    EXPECT_EQ(flag, 1);

    // No drive and no further homing until the angles are updated.
    g_host_interrupt = 0;
    clear_sent();
    gchome_axis(3, 10.0f, &ier);
    EXPECT_EQ(ier, error_code(7));
    EXPECT_EQ(sent_bytes(), "");
}

TEST_F(HomingTest, SimulatedHomingEndToEnd) {
    set_angles(10.0, 20.0, 30.0, 40.0);
    float before[4];
    gcgetangles(before);
    int32_t ier = -1;
    gchome_axis(3, 10.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_DOUBLE_EQ(model().axes[3].position, 0.0);
    // Homing reads no angles into the stored set.
    float after[4];
    gcgetangles(after);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(after[k], before[k]);

    // A speed the controller refuses comes back as bit 128 of the status.
    gchome_axis(2, 0.0f, &ier);
    EXPECT_EQ(ier, error_code(23));
}

TEST_F(HomingTest, EncoderSetCommand) {
    // A circle or value that its field cannot hold would go out as
    // asterisks: it is refused and nothing is sent.
    struct {
        int32_t circle;
        float value;
        const char *line;  // nullptr: refused
    } cases[] = {
        {1, 12.5f, "EZ1, 12.5000\r"}, {3, 1000.0f, nullptr},
        {3, -180.0f, nullptr},        {3, std::numeric_limits<float>::quiet_NaN(), nullptr},
        {12, 1.0f, nullptr},          {4, -5.25f, "EZ4, -5.2500\r"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line ? c.line : "refused");
        clear_sent();
        int32_t ier = -1;
        gcencoder_set(c.circle, c.value, &ier);
        EXPECT_EQ(ier, c.line ? 0 : 87);
        EXPECT_EQ(show(sent_lines()), show(c.line ? Lines{c.line} : Lines{}));
    }
    wait_idle();
    EXPECT_DOUBLE_EQ(model().axes[4].position, -5.25);
}

TEST_F(HomingTest, ManualModeClampsSpeedsAndParameters) {
    const int32_t params[2] = {0, 40000};
    const float speeds[5] = {0.0f, 5000.0f, 2.5f, 1.0f, 3.0f};
    int32_t ier = -1;
    gcmanual_mode(params, speeds, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(show(sent_lines()), show(Lines{"S1    0.00100\r", "S2 3600.00000\r",
                                             "S3    2.50000\r", "S4    1.00000\r", "M    1\r"}));
    wait_idle();
    EXPECT_TRUE(model().manual_mode);
}

TEST_F(HomingTest, ManualModeRefusesNullArrays) {
    const float speeds[5] = {1, 1, 1, 1, 1};
    int32_t ier = -1;
    gcmanual_mode(nullptr, speeds, &ier);
    EXPECT_EQ(ier, 87);
    EXPECT_EQ(sent_bytes(), "");
}

// The stage setting is decided once per process (every test runs in a
// process of its own), so it is put in place before anything asks for it.
class StageHomingTest : public HomingTest {
  protected:
    void SetUp() override {
        setenv("VESK_STAGE", "1", 1);
        HomingTest::SetUp();
    }
};

TEST_F(StageHomingTest, ManualModeWithAMotorizedStage) {
    const int32_t params[2] = {0, 40000};
    const float speeds[5] = {0.0f, 5000.0f, 2.5f, 1.0f, 3.0f};
    int32_t ier = -1;
    gcmanual_mode(params, speeds, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(show(sent_lines()),
              show(Lines{"S1    0.00100\r", "S2 3600.00000\r", "S3    2.50000\r", "S4    1.00000\r",
                         "S5    3.00000\r", "M    132767\r"}));
}

}  // namespace
