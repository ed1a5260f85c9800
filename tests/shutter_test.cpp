// Shutter and attenuator: the exact command lines, the state the library
// keeps and the callbacks it calls.
#include "periph/shutter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/clock.h"
#include "gonioctl.h"
#include "support/host_callbacks.h"
#include "support/sim_fixture.h"

namespace {

using namespace testsupport;

class ShutterTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        g_events.clear();
        gc_callbacks(nullptr, nullptr, on_shutter, on_attenuator, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    }

    int32_t shutter_state() {
        int32_t state = -1;
        float seconds = -1.0f;
        gcshut_status(&state, &seconds);
        return state;
    }
    float shutter_seconds() {
        int32_t state = -1;
        float seconds = -1.0f;
        gcshut_status(&state, &seconds);
        return seconds;
    }
    int32_t attenuator_state() {
        int32_t state = -1;
        gcattn_status(&state);
        return state;
    }
};

struct ModeCase {
    int32_t mode;
    const char *line;
    int32_t open;  // shutter-open flag afterwards
    std::vector<std::string> events;
};

TEST_F(ShutterTest, EachModeSendsItsLineAndSetsTheState) {
    const ModeCase cases[] = {
        {0, "W-1,WA 10,W-3\r", 0, {"shutter 0", "attenuator 0"}},
        {-9999, "W-1\r", 0, {"shutter 0", "attenuator 0"}},
        {9999, "W+3\r", 1, {"shutter 1"}},
        {1, "W+3,W+1\r", 1, {"shutter 1"}},
        {-1, "W+3,W+1\r", 1, {"shutter 1"}},
        {42, "W+3,W+1\r", 1, {"shutter 1"}},
    };
    open_link();
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(c.mode);
        clear_sent();
        g_events.clear();
        // Start from the opposite state so that every change shows.
        gonioctl::g_shutter.open = 1 - c.open;
        int32_t ier = -1;
        gcshutter(c.mode, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(show(sent_lines(1)), show(Lines{c.line}));
        EXPECT_EQ(g_events, c.events);
        EXPECT_EQ(shutter_state(), c.open);
        EXPECT_EQ(gonioctl::g_shutter.delay_ms, 0);
    }
}

struct DelayedCase {
    int32_t mode;
    int32_t delay;
    const char *line;
};

TEST_F(ShutterTest, DelayedCommandsCarryTheWaitPrefix) {
    const DelayedCase cases[] = {
        {1, 500, "WA   500,W+3,W+1\r"},     {0, 0, "WA     0,W-1,WA 10,W-3\r"},
        {1, 1000000, "WA******,W+3,W+1\r"}, {9999, -99999, "WA-99999,W+3\r"},
        {-9999, -100000, "WA******,W-1\r"},
    };
    open_link();
    for (const DelayedCase &c : cases) {
        SCOPED_TRACE(c.line);
        clear_sent();
        int32_t ier = -1;
        gcshutter_delayed(c.mode, c.delay, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(show(sent_lines(1)), show(Lines{c.line}));
        EXPECT_EQ(gonioctl::g_shutter.delay_ms, c.delay);
    }
}

TEST_F(ShutterTest, OpenTimeCountsFromTheOpeningLessTheDelay) {
    open_link();
    int32_t ier = -1;
    gcshutter_delayed(1, 500, &ier);
    ASSERT_EQ(shutter_state(), 1);
    const float now = gonioctl::seconds_of_day();

    // Two seconds after the opening command the shutter has been open 1.5 s.
    gonioctl::g_shutter.open_time = now - 2.0f;
    EXPECT_NEAR(shutter_seconds(), 1.5f, 0.1f);
    // 0.3 s after it the controller is still waiting: never negative.
    gonioctl::g_shutter.open_time = now - 0.3f;
    EXPECT_EQ(shutter_seconds(), 0.0f);

    // Opened two seconds before midnight as the clock now stands: the
    // difference comes out negative and a day is added.
    gcshutter(1, &ier);
    gonioctl::g_shutter.open_time = now + 86400.0f - 2.0f;
    EXPECT_NEAR(shutter_seconds(), 2.0f, 0.1f);
}

TEST_F(ShutterTest, AttenuatorInUntilTheShutterCloses) {
    open_link();
    int32_t ier = -1;
    gcinat(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(show(sent_lines(2)), show(Lines{"W+3,W+1\r", "W+4\r"}));
    EXPECT_EQ(g_events, (std::vector<std::string>{"shutter 1", "attenuator 1"}));
    EXPECT_EQ(attenuator_state(), 1);
    EXPECT_EQ(shutter_state(), 1);

    // Closing the shutter takes the attenuator flag down with it, although
    // nothing is sent for line 4.
    clear_sent();
    gcshutter(0, &ier);
    EXPECT_EQ(show(sent_lines(1)), show(Lines{"W-1,WA 10,W-3\r"}));
    EXPECT_EQ(attenuator_state(), 0);
    EXPECT_EQ(shutter_state(), 0);
}

TEST_F(ShutterTest, DelayedAttenuatorAnnouncesButKeepsNoState) {
    open_link();
    int32_t ier = -1;
    gcatten_delayed(5, 100, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(show(sent_lines(1)), show(Lines{"WA   100,W+3,W+4\r"}));
    EXPECT_EQ(g_events, (std::vector<std::string>{"shutter 1", "attenuator 1"}));
    EXPECT_EQ(shutter_state(), 0);
    EXPECT_EQ(attenuator_state(), 0);

    clear_sent();
    g_events.clear();
    gcatten_delayed(0, 20, &ier);
    EXPECT_EQ(show(sent_lines(1)), show(Lines{"WA    20,W-1,WA 10,W-3\r"}));
    EXPECT_EQ(g_events, (std::vector<std::string>{"shutter 0", "attenuator 0"}));
}

TEST_F(ShutterTest, ClosedLinkSendsNothingAndReportsClosed) {
    // State left from an earlier session is not shown while the link is closed.
    gonioctl::g_shutter.open = 1;
    gonioctl::g_shutter.attenuator = 1;
    int32_t state = -1;
    float seconds = -1.0f;
    gcshut_status(&state, &seconds);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(seconds, 0.0f);
    EXPECT_EQ(attenuator_state(), 0);

    int32_t ier = -1;
    gcshutter_delayed(1, 250, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(gonioctl::g_shutter.delay_ms, 250);  // stored even while closed
    gcshutter(0, &ier);
    EXPECT_EQ(gonioctl::g_shutter.delay_ms, 0);
    gcinat(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(gonioctl::g_shutter.open, 1);  // flags untouched
    EXPECT_EQ(gonioctl::g_shutter.attenuator, 1);

    // The delayed attenuator command still announces itself.
    gcatten_delayed(1, 0, &ier);
    EXPECT_EQ(g_events, (std::vector<std::string>{"shutter 1", "attenuator 1"}));
    EXPECT_EQ(sent_bytes(), "");
}

TEST_F(ShutterTest, NullPointersAreTolerated) {
    open_link();
    EXPECT_EQ(gcshutter(1, nullptr), 0);
    EXPECT_EQ(gcshut_status(nullptr, nullptr), 0);
    EXPECT_EQ(gcattn_status(nullptr), 0);
    EXPECT_EQ(gcinat(nullptr), 0);
    EXPECT_EQ(gcatten_delayed(1, 5, nullptr), 0);
    EXPECT_EQ(gcshutter_delayed(0, 5, nullptr), 0);
    EXPECT_EQ(show(sent_lines(5)), show(Lines{"W+3,W+1\r", "W+3,W+1\r", "W+4\r",
                                              "WA     5,W+3,W+4\r", "WA     5,W-1,WA 10,W-3\r"}));
}

}  // namespace
