// Angle update and reference read against the simulated controller.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/errors.h"
#include "core/format.h"
#include "core/state.h"
#include "core/text.h"
#include "gonioctl.h"
#include "support/sim_fixture.h"

namespace gonioctl {
namespace {

class Update : public SimTest {
  protected:
    int32_t update(float tth, float om, float phi, float chi, float reported[4]) {
        const float requested[4] = {tth, om, phi, chi};
        int32_t ier = -99;
        ::gcupdate(requested, reported, &ier);
        return ier;
    }
    static void set_type(int32_t type) { ::gcset_goniometer(&type); }
    static int32_t need_update() {
        int32_t flag = -1;
        ::gc_needupdate(&flag);
        return flag;
    }
};

TEST_F(Update, SendsOneCommandPerCircleAndKeepsTheReplies) {
    open_link();
    set_angles(20.1, 10.0, 0.1, 10.0);
    float reported[4] = {};
    ASSERT_EQ(update(10.9f, -10.0f, 359.8f, 10.5f, reported), 0);
    // The chi-circle type keeps the controller's fraction of a degree: more
    // than half a degree away moves the whole degrees by one towards it.
    EXPECT_EQ(sent_lines(), (Lines{"U0,0.0\r", "U1,   11.900\r", "U2,  350.000\r", "U3,    0.800\r",
                                   "U4,   10.500\r"}))
        << show(sent_lines());
    const float want[4] = {11.9f, 350.0f, 0.8f, 10.5f};
    float stored[4];
    ::gcgetangles(stored);
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(reported[k], want[k]) << k;
        EXPECT_EQ(stored[k], reported[k]) << k;
    }
    EXPECT_EQ(need_update(), 0);
}

TEST_F(Update, FractionRuleCases) {
    open_link();
    struct Case {
        float requested, controller;
        const char *line;
    };
    const Case cases[] = {
        {10.9f, 20.1f, "U1,   11.900\r"},
        {11.02f, 10.95f, "U1,   10.020\r"},
        {359.8f, 0.1f, "U1,    0.800\r"},
        {10.5f, 10.0f, "U1,   10.500\r"},  // exactly half a degree: stays
        {-10.0f, 0.0f, "U1,  350.000\r"},
    };
    for (const Case &c : cases) {
        set_angles(c.controller, 0, 0, 0);
        clear_sent();
        float reported[4];
        ASSERT_EQ(update(c.requested, 0, 0, 0, reported), 0);
        const Lines lines = sent_lines();
        ASSERT_EQ(lines.size(), 5u) << show(lines);
        EXPECT_EQ(lines[1], c.line) << c.requested << " at " << c.controller;
    }
}

TEST_F(Update, TypesWithoutChiSendThreeCommandsAndNoFractionRule) {
    open_link();
    for (int32_t type : {2, 4}) {
        set_type(type);
        set_angles(20.1, 0, 0, 0);
        clear_sent();
        float reported[4];
        ASSERT_EQ(update(10.9f, 1.0f, 2.0f, 3.0f, reported), 0);
        EXPECT_EQ(sent_lines(),
                  (Lines{"U0,0.0\r", "U1,   10.900\r", "U2,    1.000\r", "U3,    2.000\r"}))
            << "type " << type;
    }
}

TEST_F(Update, CollisionInTheFirstReadSendsNoUpdate) {
    open_link();
    set_model([](goniosim::Model &m) { m.status1 = 1; });
    float reported[4] = {7, 7, 7, 7};
    EXPECT_EQ(update(10, 10, 10, 10, reported), GCERR(8));
    EXPECT_EQ(sent_lines(), (Lines{"U0,0.0\r"}));
    EXPECT_EQ(reported[0], 7.0f);
    EXPECT_EQ(need_update(), 1);
}

TEST_F(Update, BadReplyStopsTheUpdateAndKeepsTheFlag) {
    open_link();
    sim().queue_reply("    0.000    0.000    0.000    0.000     0     0\r");
    sim().queue_reply("what?\r");
    float reported[4] = {7, 7, 7, 7};
    EXPECT_EQ(update(10, 10, 10, 10, reported), ERR_IOSTAT(kReadBad));
    EXPECT_EQ(sent_lines(), (Lines{"U0,0.0\r", "U1,   10.000\r"}));
    EXPECT_EQ(reported[0], 7.0f);
    EXPECT_EQ(need_update(), 1);
}

TEST_F(Update, AngleThatIsNotANumberIsRefusedBeforeAnythingIsSent) {
    open_link();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    float reported[4] = {7, 7, 7, 7};
    EXPECT_EQ(update(10, 10, nan, 10, reported), kInvalidArgument);
    EXPECT_EQ(update(-inf, 10, 10, 10, reported), kInvalidArgument);
    EXPECT_EQ(sent_lines(), Lines{});
    EXPECT_EQ(reported[0], 7.0f);
    EXPECT_EQ(need_update(), 1);

    // Without a chi circle the chi value is never sent, so it does not matter.
    set_type(2);
    EXPECT_EQ(update(10, 10, 10, nan, reported), 0);
    EXPECT_EQ(need_update(), 0);
}

TEST(UpdateClosed, ClosedLinkDoesNothing) {
    const float requested[4] = {1, 2, 3, 4};
    float reported[4] = {7, 7, 7, 7};
    int32_t ier = -99;
    ::gcupdate(requested, reported, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(reported[0], 7.0f);
    EXPECT_EQ(g_state.need_update, 1);
    ::gcupdate(nullptr, reported, &ier);
    EXPECT_EQ(ier, kInvalidArgument);

    int32_t first = 5, second = 6;
    ::gcreadref(&first, &second, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 6);
}

class ReadRef : public SimTest {
  protected:
    int32_t first = 99, second = 99;
    int32_t readref() {
        int32_t ier = -99;
        ::gcreadref(&first, &second, &ier);
        return ier;
    }
};

TEST_F(ReadRef, RoundsHalvesAwayFromZero) {
    open_link();
    sim().queue_reply("12.6, -3.5\r");
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, 13);
    EXPECT_EQ(second, -4);
    EXPECT_EQ(sent_lines(), (Lines{"I\r"}));

    sim().queue_reply("\t-2.5 12.5\r");
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, -3);
    EXPECT_EQ(second, 13);
}

TEST_F(ReadRef, ModelValues) {
    open_link();
    set_model([](goniosim::Model &m) {
        m.ref1 = 5;
        m.ref2 = -7;
    });
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, -7);
}

TEST_F(ReadRef, MissingOrUnreadableNumberLeavesSecondAlone) {
    open_link();
    sim().queue_reply("12.6\r");
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 99);

    sim().queue_reply("12.6, x1\r");
    EXPECT_NE(readref(), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 99);

    // A number no 32-bit integer can hold is a read failure, not a wrapped value.
    sim().queue_reply("1e20, 1\r");
    EXPECT_EQ(readref(), ERR_IOSTAT(kReadBad));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 99);
}

TEST_F(ReadRef, LateCarriageReturnAsksOnceMore) {
    open_link();
    // CR at column 31: one more request, whose reply replaces the first.
    sim().queue_reply(std::string(30, 'x') + "\r");
    sim().queue_reply("3, 4\r");
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 4);
    EXPECT_EQ(sent_lines(), (Lines{"I\r", "I\r"}));

    // CR at column 30: no second request.
    clear_sent();
    sim().queue_reply("1, 2" + std::string(25, ' ') + "\r");
    EXPECT_EQ(readref(), 0);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(sent_lines(), (Lines{"I\r"}));
}

}  // namespace
}  // namespace gonioctl
