// Drive completion wait: angle replies, readings and "ST" values, the
// failures that end the wait, and interruptions that reset the controller.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "gonioctl.h"
#include "link/sequencing.h"
#include "support/host_callbacks.h"
#include "support/sim_fixture.h"

namespace {

using namespace testsupport;

class WaitTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_host_callbacks();
        gc_callbacks(on_angle_values, on_motion, on_shutter, nullptr, nullptr, on_interrupt,
                     nullptr, on_set_interrupt, nullptr);
        open_link();
    }

    // Puts records on the line and waits until they are in the library's
    // receive queue, so the wait sees them before it asks for an interrupt.
    void controller_sends(const std::string &bytes) {
        sim().send(bytes);
        for (int i = 0; i < 400; ++i) {
            int32_t waiting = 0;
            gcpoll(&waiting);
            if (waiting >= static_cast<int32_t>(bytes.size())) return;
            usleep(5000);
        }
    }

    bool reset_sent() { return sent_bytes().find('\x07') != std::string::npos; }
};

struct ReplyCase {
    const char *record;
    std::vector<float> angles;
    int32_t shutter;
};

TEST_F(WaitTest, AngleReplyStoresAndReportsTheAngles) {
    const ReplyCase cases[] = {
        {"10.000 20.000 30.000 40.000 0 0\r", {10, 20, 30, 40}, 0},
        {"370.000 -10.000 0.000 0.000 4 0\r", {10, 350, 0, 0}, 2},
        {"  1.500,  2.500,\t3.500, 4.500 32772 0\r", {1.5f, 2.5f, 3.5f, 4.5f}, 3},
        {"1.000 2.000 3.000 4.000 32768 0\r", {1, 2, 3, 4}, 1},
        // Status words missing: both 0.
        {"5.000 6.000 7.000 8.000\r", {5, 6, 7, 8}, 0},
        // A comma right after the last decimal field is an empty first item:
        // the 4 becomes status word 2 and the shutter bits stay clear.
        {"10.000 20.000 30.000 40.000,4 0\r", {10, 20, 30, 40}, 0},
        // A fifth decimal field is skipped; the words follow it.
        {"10.000 20.000 30.000 40.000 55.500 4 0\r", {10, 20, 30, 40}, 2},
    };
    for (const ReplyCase &c : cases) {
        SCOPED_TRACE(show(c.record));
        g_events.clear();
        controller_sends(c.record);
        int32_t reading = 77;
        int32_t ier = -1;
        gcdrscwait(0, &reading, 5.0f, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(reading, 77);
        const std::string angles = "angles " + angle_text(c.angles[0]) + " " +
                                   angle_text(c.angles[1]) + " " + angle_text(c.angles[2]) + " " +
                                   angle_text(c.angles[3]);
        EXPECT_EQ(g_events, (std::vector<std::string>{
                                angles, "shutter " + std::to_string(c.shutter), "motion 0"}));
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(gonioctl::g_state.angles[k], c.angles[k]);
    }
    EXPECT_FALSE(reset_sent());
}

TEST_F(WaitTest, CollisionStatusResetsTheController) {
    set_angles(1.0, 2.0, 3.0, 4.0);
    gonioctl::g_state.readings_outstanding = -4;
    controller_sends("11.000 12.000 13.000 14.000 1 0\r");
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(8));
    EXPECT_TRUE(reset_sent());
    // The reply's angles were reported before the reset read them afresh.
    ASSERT_GE(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "angles 11 12 13 14");
    EXPECT_EQ(g_events[1], "shutter 0");
    EXPECT_EQ(g_events.back(), "motion 0");
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);
}

TEST_F(WaitTest, FaultStatusWordsStopOnlyWhenReturned) {
    // Word 2 bit 16 (unrecognised characters) and 128 (beyond limits) end
    // the wait with a reset; an encoder error (bit 8) is only reported.
    struct {
        const char *record;
        int32_t ier;
        bool reset;
    } cases[] = {
        {"1.000 2.000 3.000 4.000 0 16\r", error_code(20), true},
        {"1.000 2.000 3.000 4.000 0 128\r", error_code(23), true},
        {"1.000 2.000 3.000 4.000 0 8\r", 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.record));
        clear_sent();
        controller_sends(c.record);
        int32_t reading = 0;
        int32_t ier = -1;
        gcdrscwait(0, &reading, 5.0f, &ier);
        EXPECT_EQ(ier, c.ier);
        EXPECT_EQ(reset_sent(), c.reset);
    }
}

TEST_F(WaitTest, ReadingsAreCountedUntilNwait) {
    gonioctl::g_state.readings_outstanding = -2;
    gonioctl::g_state.reading_number = 1;
    gonioctl::g_state.readings_received = 0;
    controller_sends("1500\r1620\r");
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(2, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(reading, 1620);
    EXPECT_EQ(gonioctl::g_state.readings_received, 2);
    EXPECT_EQ(gonioctl::g_state.reading_number, 3);
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);
    EXPECT_TRUE(g_events.empty());  // a normal return calls nothing

    // The drive's angle reply then ends it.
    controller_sends("1.000 2.000 3.000 4.000 0 0\r");
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(g_events.back(), "motion 0");
}

TEST_F(WaitTest, RecordWithoutReadingsOutstandingIsIgnored) {
    controller_sends("1500\r");
    int32_t reading = 42;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(reading, 42);
    EXPECT_EQ(gonioctl::g_state.readings_received, 0);
}

TEST_F(WaitTest, StValuesRoundHalvesAwayFromZero) {
    struct {
        const char *record;
        int32_t ier;
        int32_t reading;
    } cases[] = {
        {"ST 12.6\r", 0, 13},
        {"ST -2.5\r", 0, -3},
        {"ST 2.5\r", 0, 3},
        {"ST 7\r", 0, 7},
        {"ST -0.4\r", 0, 0},
        {"ST\r", error_code(11), 99},
        {"ST abc\r", error_code(11), 99},
        {"ST 1E20\r", error_code(11), 99},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.record));
        controller_sends(c.record);
        int32_t reading = 99;
        int32_t ier = -1;
        gcdrscwait(0, &reading, 5.0f, &ier);
        EXPECT_EQ(ier, c.ier);
        EXPECT_EQ(reading, c.reading);
    }
}

TEST_F(WaitTest, UnreadableReadingGivesCode11) {
    gonioctl::g_state.readings_outstanding = -2;
    controller_sends("15x0\r");
    int32_t reading = 5;
    int32_t ier = -1;
    gcdrscwait(2, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(11));
    EXPECT_EQ(reading, 5);
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);  // cleared at the end
    EXPECT_EQ(g_events, (std::vector<std::string>{"motion 0"}));
}

TEST_F(WaitTest, EmptyRecordGivesCode9) {
    controller_sends("\r");
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(9));
    EXPECT_EQ(g_events, (std::vector<std::string>{"motion 0"}));
}

TEST_F(WaitTest, PerRecordTimeoutGivesCode10) {
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 0.3f, &ier);
    EXPECT_EQ(ier, error_code(10));
    EXPECT_EQ(g_events, (std::vector<std::string>{"motion 0"}));
}

TEST_F(WaitTest, OverallTimeoutEndsAWaitThatKeepsGettingRecords) {
    // A record every 0.2 s, none of them the angle reply, and readings
    // expected that never come: the whole wait is limited to 1 s.
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        while (!stop) {
            sim().send("BUSY\r");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(3, &reading, 1.0f, &ier);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop = true;
    talker.join();
    EXPECT_EQ(ier, error_code(10));
    EXPECT_GT(took, 1.0);
    EXPECT_LT(took, 1.6);
}

TEST_F(WaitTest, InterruptAfterARecordResetsTheController) {
    set_angles(1.0, 2.0, 3.0, 4.0);
    g_host_interrupt = 1;
    controller_sends("BUSY\r");
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(14));
    EXPECT_TRUE(reset_sent());
    // Cleared before the reset (which holds it at 0 around its own wait),
    // the stored angles reported, then set again for the host to see.
    EXPECT_EQ(g_events,
              (std::vector<std::string>{"set_interrupt 0", "set_interrupt 0", "set_interrupt 0",
                                        "angles 1 2 3 4", "motion 0", "shutter 0", "angles 1 2 3 4",
                                        "set_interrupt 1", "motion 0"}));
    EXPECT_EQ(g_host_interrupt.load(), 1);
}

int32_t g_once = 0;
int32_t interrupt_once() {
    return g_once-- > 0 ? 1 : 0;
}

TEST_F(WaitTest, InterruptSeenOnlyByTheReceptionGivesCode9) {
    gc_callbacks(on_angle_values, on_motion, on_shutter, nullptr, nullptr, interrupt_once, nullptr,
                 on_set_interrupt, nullptr);
    g_once = 1;
    int32_t reading = 0;
    int32_t ier = -1;
    gcdrscwait(0, &reading, 5.0f, &ier);
    EXPECT_EQ(ier, error_code(9));
    EXPECT_FALSE(reset_sent());
    EXPECT_EQ(g_events, (std::vector<std::string>{"motion 0"}));
}

TEST_F(WaitTest, ClosedLinkReturnsAtOnce) {
    int32_t ier = -1;
    gcclose(&ier);
    g_events.clear();
    int32_t reading = 3;
    ier = -1;
    gcdrscwait(0, &reading, 0.0f, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(reading, 3);
    EXPECT_TRUE(g_events.empty());
}

// The controller takes its time over moves here (one simulated second per
// real second).
class TimedWaitTest : public SimTest {
  protected:
    TimedWaitTest() { sim_options.time_scale = 1.0; }
    void SetUp() override {
        SimTest::SetUp();
        reset_host_callbacks();
        gc_callbacks(on_angle_values, on_motion, on_shutter, nullptr, nullptr, on_interrupt,
                     nullptr, on_set_interrupt, nullptr);
    }
};

// A move of four seconds, interrupted by the host while the wait blocks:
// the wait ends at once, the controller is reset and the angles are read
// back from it.
TEST_F(TimedWaitTest, InterruptedDriveStopsTheControllerEndToEnd) {
    set_angles(10.0, 20.0, 0.0, 0.0);
    open_link();

    int32_t ier = -1;
    const char line[] = "S2 10.0 A2 40.0 D U0,0.\r";
    gonioctl::GCPUTS(line, static_cast<int32_t>(sizeof line - 1), ier);
    ASSERT_EQ(ier, 0);
    std::thread user([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        g_host_interrupt = 1;
    });
    const auto start = std::chrono::steady_clock::now();
    int32_t reading = 0;
    gcdrscwait(0, &reading, 30.0f, &ier);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    user.join();
    EXPECT_EQ(ier, error_code(14));
    EXPECT_LT(took, 2.5);  // not the four seconds of the move
    EXPECT_NE(sent_bytes().find('\x07'), std::string::npos);
    // The stored angles are those the reset read back from the controller.
    EXPECT_NEAR(gonioctl::g_state.angles[1], model().axes[2].position, 0.001);
    EXPECT_EQ(g_host_interrupt.load(), 1);
    EXPECT_EQ(g_events.back(), "motion 0");
}

}  // namespace
