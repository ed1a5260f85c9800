// Detector signal and the timed exposure sequences: the exact lines that
// reach the controller, and the controller carrying them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "gonioctl.h"
#include "support/sim_fixture.h"

namespace {

std::string blanks(size_t n) {
    return std::string(n, ' ');
}

struct SequenceCase {
    const char *name;
    std::function<void()> call;
    std::string expected;  // the whole line, CR included
};

// Nothing answers these lines, so the tests wait for them to come through
// the pseudo-terminal before they look (sent_lines(n)).
using DetectorTest = SimTest;

TEST_F(DetectorTest, SequencesGoOutAsEightyCharactersAndCarriageReturn) {
    open_link();
    const SequenceCase cases[] = {
        {"shutter 100/2000/50", [] { gcenwaitsh_det(100, 2000, 50); },
         "W+7,WA" + blanks(6) + "100" + ",W+3,W+1,WA" + blanks(5) + "2000" + ",W-1, WA" +
             blanks(7) + "50" + ",W-7" + blanks(24) + "\r"},
        {"gate 500", [] { gcenwaitdis_det(500); },
         "W+7, WA" + blanks(6) + "500" + ", W-7" + blanks(59) + "\r"},
        {"attenuated 0/0/0", [] { gcenwaitat_det(0, 0, 0); },
         "W+7, WA" + blanks(8) + "0" + ",W+3,W+4,WA" + blanks(8) + "0" + ",W-1, WA" + blanks(8) +
             "0" + ",W-7" + blanks(23) + "\r"},
        // A negative time is written with its sign; one that needs more than
        // nine characters goes out as nine '*' for the controller to refuse.
        {"shutter -5/1000000000/-100000000", [] { gcenwaitsh_det(-5, 1000000000, -100000000); },
         "W+7,WA" + blanks(7) + "-5" + ",W+3,W+1,WA" + "*********" + ",W-1, WA" + "*********" +
             ",W-7" + blanks(24) + "\r"},
        {"gate largest and smallest that fit",
         [] {
             gcenwaitdis_det(999999999);
             gcenwaitdis_det(-99999999);
         },
         "W+7, WA999999999, W-7" + blanks(59) + "\r" + "W+7, WA-99999999, W-7" + blanks(59) + "\r"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        clear_sent();
        c.call();
        sim().wait_lines(std::count(c.expected.begin(), c.expected.end(), '\r'));
        const std::string sent = sent_bytes();
        EXPECT_EQ(sent.size() % 81, 0u) << show(sent);
        EXPECT_EQ(sent, c.expected) << show(sent) << "\n" << show(c.expected);
    }
}

TEST_F(DetectorTest, SignalOnOffAndDetectorTypeLines) {
    open_link();
    int32_t ier = -7;
    gcenable_det(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(1), (Lines{"W+7\r"}));
    wait_idle();
    EXPECT_TRUE(model().outputs[7]);

    clear_sent();
    ier = -7;
    gcdisable_det(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_lines(1), (Lines{"W-7\r"}));
    wait_idle();
    EXPECT_FALSE(model().outputs[7]);

    // The arguments are neither read nor needed: null pointers are fine.
    clear_sent();
    gcenable_det(nullptr);
    const int32_t type = 5, other = 9;
    gcdettype(&type, &other);
    gcdettype(nullptr, nullptr);
    EXPECT_EQ(sent_lines(3), (Lines{"W+7\r", "DT1 W-7\r", "DT1 W-7\r"}));
    wait_idle();
    EXPECT_FALSE(model().outputs[7]);
}

TEST_F(DetectorTest, LinkClosedSendsNothing) {
    open_link();
    int32_t ier = 0;
    gcclose(&ier);
    clear_sent();
    ier = -7;
    gcenable_det(&ier);
    EXPECT_EQ(ier, 0);
    ier = -7;
    gcdisable_det(&ier);
    EXPECT_EQ(ier, 0);
    const int32_t a = 1, b = 2;
    gcdettype(&a, &b);
    gcenwaitsh_det(100, 2000, 50);
    gcenwaitdis_det(500);
    gcenwaitat_det(0, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sim().received(), "");
}

int shutter_reports = 0;
int attenuator_reports = 0;
void count_shutter(const int32_t *) {
    ++shutter_reports;
}
void count_attenuator(const int32_t *) {
    ++attenuator_reports;
}

// The sequences open and close the shutter on the controller, but the
// library's shutter and attenuator state is only what the shutter calls set.
TEST_F(DetectorTest, SequencesLeaveShutterAndAttenuatorStateAlone) {
    open_link();
    gc_callbacks(nullptr, nullptr, count_shutter, count_attenuator, nullptr, nullptr, nullptr,
                 nullptr, nullptr);
    auto send_all = [] {
        gcenwaitsh_det(100, 2000, 50);
        gcenwaitdis_det(500);
        gcenwaitat_det(10, 20, 30);
    };
    struct State {
        int32_t shutter, attenuator;
    };
    auto state = [] {
        State s{-1, -1};
        float seconds = 0.0f;
        gcshut_status(&s.shutter, &seconds);
        gcattn_status(&s.attenuator);
        return s;
    };

    int32_t ier = 0;
    gcshutter(0, &ier);  // closed, attenuator out
    ASSERT_EQ(ier, 0);
    shutter_reports = attenuator_reports = 0;
    send_all();
    EXPECT_EQ(state().shutter, 0);
    EXPECT_EQ(state().attenuator, 0);

    gcinat(&ier);  // open, attenuator in
    ASSERT_EQ(ier, 0);
    const State before = state();
    ASSERT_EQ(before.shutter, 1);
    ASSERT_EQ(before.attenuator, 1);
    shutter_reports = attenuator_reports = 0;
    send_all();
    EXPECT_EQ(state().shutter, 1);
    EXPECT_EQ(state().attenuator, 1);
    EXPECT_EQ(shutter_reports, 0);
    EXPECT_EQ(attenuator_reports, 0);
}

// The controller carries out the waits of a sequence itself: the library
// returns at once and the lines follow the times given.
class TimedDetectorTest : public DetectorTest {
  protected:
    TimedDetectorTest() { sim_options.time_scale = 1.0; }
};

TEST_F(TimedDetectorTest, ControllerCarriesOutTheWaits) {
    open_link();
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    gcenwaitat_det(300, 1200, 300);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 0.25);

    // Well inside the exposure: gate on, shutter line and attenuator on.
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    goniosim::Model m = model();
    EXPECT_TRUE(m.outputs[7]);
    EXPECT_TRUE(m.outputs[3]);
    EXPECT_TRUE(m.outputs[4]);

    wait_idle();
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - t0).count(), 1.7);
    m = model();
    // The sequence ends with shutter line 1 and the gate off; lines 3 and 4
    // are left as they were switched.
    EXPECT_FALSE(m.outputs[7]);
    EXPECT_FALSE(m.outputs[1]);
    EXPECT_TRUE(m.outputs[3]);
    EXPECT_TRUE(m.outputs[4]);
}

}  // namespace
