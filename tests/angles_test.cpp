// Angle read-out against the simulated controller: the angle request, the
// decimal-point count learnt from the first good reply, the reply's numeric
// part, the status words, the stored angle set and the need-update flag.
#include "gonio/angles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/errors.h"
#include "core/state.h"
#include "gonioctl.h"
#include "support/sim_fixture.h"
#include "support/stdout_capture.h"

namespace gonioctl {
namespace {

int g_angles_calls = 0;
float g_angles_seen[4] = {};

void record_angles(const float *a) {
    ++g_angles_calls;
    for (int k = 0; k < 4; ++k) g_angles_seen[k] = a[k];
}

void register_angles_cb() {
    ::gc_callbacks(record_angles, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
}

class Angles : public SimTest {
  protected:
    int32_t read(float out[4]) {
        int32_t ier = -99;
        ::gcreada(out, &ier);
        return ier;
    }
};

TEST(AnglesClosed, ClosedLinkAnswersZerosAndStoredSetStays) {
    g_state.angles[0] = 12.0f;
    float out[4] = {1, 2, 3, 4};
    int32_t ier = -99;
    ::gcreada(out, &ier);
    EXPECT_EQ(ier, 0);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    float stored[4] = {};
    ::gcgetangles(stored);
    EXPECT_EQ(stored[0], 12.0f);

    // Flag queries do nothing while the link is closed.
    int32_t flag = 42;
    ::gc_needupdate(&flag);
    EXPECT_EQ(flag, 42);
    ::gcset_needupdate(0);
    EXPECT_EQ(g_state.need_update, 1);
}

TEST(AnglesClosed, StatusEntryPointsOnlyClear) {
    int32_t words[12];
    for (int32_t &w : words) w = 7;
    int32_t ier = 5;
    ::gcsysstatus(words, &ier);
    EXPECT_EQ(ier, 0);
    for (int k = 0; k < 11; ++k) EXPECT_EQ(words[k], 0) << k;
    EXPECT_EQ(words[11], 7);
    int32_t a = 3, b = 4;
    ier = 5;
    ::gcgetstatus(&a, &b, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 4);
}

TEST(AngleMod, ReducesIntoOneTurn) {
    EXPECT_EQ(ANGLE_MOD(-10.0f, 360.0f), 350.0f);
    EXPECT_EQ(ANGLE_MOD(360.0f, 360.0f), 0.0f);
    EXPECT_EQ(ANGLE_MOD(725.0f, 360.0f), 5.0f);
    EXPECT_EQ(ANGLE_MOD(-725.0f, 360.0f), 355.0f);
}

TEST_F(Angles, ReplyIsReducedStoredAndReported) {
    open_link();
    register_angles_cb();
    sim().queue_reply("  350.000   10.000   -5.000    0.000     0     0\r");
    float out[4] = {};
    EXPECT_EQ(read(out), 0);
    EXPECT_EQ(sent_lines(), (Lines{"U0,0.0\r"}));
    const float want[4] = {350.0f, 10.0f, 355.0f, 0.0f};
    float stored[4] = {};
    ::gcgetangles(stored);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(out[k], want[k]) << k;
        EXPECT_EQ(stored[k], want[k]) << k;
        EXPECT_EQ(g_angles_seen[k], want[k]) << k;
    }
    EXPECT_EQ(g_angles_calls, 1);
}

TEST_F(Angles, DecimalPointCountIsLearntFromTheFirstGoodReply) {
    open_link();
    float out[4];
    // Three points cannot be four circles: refused, and the count is learnt again.
    sim().queue_reply("  1.000 2.000 3.000 0 0\r");
    EXPECT_EQ(read(out), GCERR(6));
    sim().queue_reply("  1.000 2.000 3.000 4.000 0 0\r");
    EXPECT_EQ(read(out), 0);
    EXPECT_EQ(out[3], 4.0f);
    // From now on every reply must carry four points.
    sim().queue_reply("  1.000 2.000 3.000 4.000 5.000 0 0\r");
    EXPECT_EQ(read(out), GCERR(6));
    for (float v : out) EXPECT_EQ(v, 0.0f);
    sim().queue_reply("  5.000 6.000 7.000 8.000 0 0\r");
    EXPECT_EQ(read(out), 0);
    EXPECT_EQ(out[0], 5.0f);
}

TEST_F(Angles, ReplyWithMoreFieldsThanTheParseAreaIsRefused) {
    open_link();
    std::string many;
    for (int k = 0; k < 17; ++k) many += " 1.0";
    sim().queue_reply(many + " 0 0\r");
    float out[4];
    EXPECT_EQ(read(out), GCERR(6));
    // Nothing was learnt from it: a four-field reply is still taken.
    set_angles(10, 20, 30, 40);
    EXPECT_EQ(read(out), 0);
    EXPECT_EQ(out[3], 40.0f);
}

TEST_F(Angles, UnreadableReplyLeavesTheStoredSetAtItsLastGoodValues) {
    open_link();
    set_angles(10, 20, 30, 40);
    float out[4];
    ASSERT_EQ(read(out), 0);

    // Four values but no status words: code 11, the host sees the raw values.
    sim().queue_reply("  -5.000   20.000   30.000  400.000\r");
    EXPECT_EQ(read(out), GCERR(11));
    EXPECT_EQ(out[0], -5.0f);
    EXPECT_EQ(out[3], 400.0f);

    // Callers that read into the stored set itself keep the last good angles.
    sim().queue_reply("  -5.000   20.000   30.000  400.000\r");
    int32_t ier = 0;
    gcreada(g_state.angles, ier);
    EXPECT_EQ(ier, GCERR(11));
    float stored[4];
    ::gcgetangles(stored);
    const float want[4] = {10, 20, 30, 40};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(stored[k], want[k]) << k;
}

TEST_F(Angles, CollisionInStatusWordStillStoresAndReports) {
    open_link();
    register_angles_cb();
    set_angles(-20, 30, 40, 50);
    set_model([](goniosim::Model &m) { m.status1 = 1; });
    float out[4];
    EXPECT_EQ(read(out), GCERR(8));
    float stored[4];
    ::gcgetangles(stored);
    EXPECT_EQ(stored[0], 340.0f);
    EXPECT_EQ(stored[3], 50.0f);
    EXPECT_EQ(g_angles_calls, 1);
    EXPECT_EQ(g_angles_seen[0], 340.0f);
}

// Trace level 2, set before the library first looks at it.
class AnglesTraced : public Angles {
  protected:
    void SetUp() override {
        unsetenv("KORU$DBGLEVEL");
        setenv("KORU_DBGLEVEL", "2", 1);
        Angles::SetUp();
    }
};

TEST_F(AnglesTraced, LearningTheCountIsTracedWithTheReply) {
    open_link();
    float out[4];
    testing::StdoutCapture capture;
    sim().queue_reply(" 1.000 2.000 3.000 0 0\r");
    EXPECT_EQ(read(out), GCERR(6));
    set_angles(10, 20, 30, 40);
    EXPECT_EQ(read(out), 0);
    EXPECT_EQ(read(out), 0);  // learnt: no further count lines
    const std::string text = capture.take();
    size_t n = 0;
    for (size_t at = 0; (at = text.find("GCREADA ifields = ", at)) != std::string::npos; ++at) ++n;
    EXPECT_EQ(n, 2u) << text;
    EXPECT_NE(text.find("GCREADA ifields = 3\n 1.000 2.000 3.000 0 0<CR>"), std::string::npos)
        << text;
    EXPECT_NE(text.find("GCREADA ifields = 4\n"), std::string::npos) << text;
}

struct NeedUpdateCase {
    int32_t type;
    double a[4];
    int32_t flag_after;
};

TEST_F(Angles, NeedUpdateClearsOnlyForACircleInUseStrictlyAwayFromZero) {
    open_link();
    const NeedUpdateCase cases[] = {
        {3, {1.0, 359.0, 0.5, 0.0}, 1},  // bounds are strict
        {3, {0.0, -1.0, 0.0, 0.0}, 1},   // -1 reads as 359
        {3, {1.5, 0.0, 0.0, 0.0}, 0},   {3, {0.0, 0.0, 358.5, 0.0}, 0},
        {3, {0.0, 0.0, 0.0, 90.0}, 0},  // chi counts on the type with a chi circle
        {2, {0.0, 0.0, 0.0, 90.0}, 1},  // but not on the others
        {2, {0.0, 1.5, 0.0, 0.0}, 0},
    };
    for (const NeedUpdateCase &c : cases) {
        int32_t t = c.type;
        ::gcset_goniometer(&t);
        ::gcset_needupdate(1);
        set_angles(c.a[0], c.a[1], c.a[2], c.a[3]);
        float out[4];
        ASSERT_EQ(read(out), 0);
        int32_t flag = -1;
        ::gc_needupdate(&flag);
        EXPECT_EQ(flag, c.flag_after) << "type " << c.type << " angles " << c.a[0] << " " << c.a[1]
                                      << " " << c.a[2] << " " << c.a[3];
    }
}

}  // namespace
}  // namespace gonioctl
