// Controller reset: the bytes of an attempt, the retries, the host's
// interrupt state around the wait, and what the library clears afterwards.
#include "link/reset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/state.h"
#include "gonioctl.h"
#include "support/host_callbacks.h"
#include "support/link_fixture.h"
#include "support/sim_fixture.h"

namespace {

using namespace testsupport;

class ResetTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_host_callbacks();
        gc_callbacks(on_angles, on_motion, on_shutter, on_attenuator, nullptr, on_interrupt,
                     nullptr, on_set_interrupt, nullptr);
    }
};

const std::string kBelAttempt = "\x07\r\x07\r\x11\r";
const std::string kAckAttempt = "\x06\r\x06\r\x11\r";

struct ResetCase {
    const char *name;
    int32_t (*entry)(int32_t *);
    std::string bytes;
    std::vector<std::string> events;
};

TEST_F(ResetTest, AnsweredResetReadsTheAnglesAndClearsTheCounting) {
    const ResetCase cases[] = {
        {"hard",
         gcreset,
         kBelAttempt + "U0,0.0\rW-1,WA 10,W-3\r",
         {"set_interrupt 0", "set_interrupt 0", "angles", "motion 0", "shutter 0", "attenuator 0"}},
        {"soft",
         gcsoftreset,
         kAckAttempt + "U0,0.0\r",
         {"set_interrupt 0", "set_interrupt 0", "angles", "motion 0"}},
    };
    set_angles(10.0, 20.0, 30.0, 40.0);
    open_link();
    for (const ResetCase &c : cases) {
        SCOPED_TRACE(c.name);
        clear_sent();
        g_events.clear();
        gonioctl::g_state.readings_outstanding = -3;
        gonioctl::g_state.override_value = 5;
        gonioctl::g_state.angles[2] = 99.0f;
        int32_t ier = -1;
        c.entry(&ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(show(sent_bytes()), show(c.bytes));
        EXPECT_EQ(g_events, c.events);
        EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);
        EXPECT_EQ(gonioctl::g_state.override_value, 0);
        EXPECT_FLOAT_EQ(gonioctl::g_state.angles[2], 30.0f);  // read afresh
        EXPECT_TRUE(gc_is_open());
    }
}

TEST_F(ResetTest, SilentControllerGivesCode15AfterFourAttempts) {
    gonioctl::g_reset_answer_timeout = 0.2f;
    open_link();
    sim().set_fault(goniosim::Fault::Silence);
    gonioctl::g_state.readings_outstanding = -3;
    gonioctl::g_state.override_value = 5;
    int32_t ier = -1;
    gcreset(&ier);
    EXPECT_EQ(ier, error_code(15));
    EXPECT_EQ(show(sent_bytes()), show(kBelAttempt + kBelAttempt + kBelAttempt + kBelAttempt));
    // Nothing of the library's view changed, and the shutter was left alone.
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, -3);
    EXPECT_EQ(gonioctl::g_state.override_value, 5);
    EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "set_interrupt 0"), 8);
    EXPECT_EQ(std::count_if(g_events.begin(), g_events.end(),
                            [](const std::string &e) { return e.rfind("set_interrupt", 0) != 0; }),
              0);
}

using ResetByLine = testsupport::RawLink;

TEST_F(ResetByLine, TextLineAnswerGivesCode15AfterFourAttempts) {
    // Every line, the reset characters included, is answered with a record.
    peer.on_line([](const std::string &) { return std::string("READY\r"); });
    gonioctl::g_state.override_value = 5;
    int32_t ier = -1;
    gcsoftreset(&ier);
    EXPECT_EQ(ier, error_code(15));
    EXPECT_EQ(show(sent_before_marker()),
              show(kAckAttempt + kAckAttempt + kAckAttempt + kAckAttempt));
    EXPECT_EQ(gonioctl::g_state.override_value, 5);
}

TEST_F(ResetTest, AngleReadFailureAfterTheAnswerIsReported) {
    open_link();
    // The reset character is still answered; the angle request gets garbage.
    sim().set_fault(goniosim::Fault::Garbage);
    gonioctl::g_state.readings_outstanding = -3;
    gonioctl::g_state.override_value = 5;
    int32_t ier = -1;
    gcreset(&ier);
    EXPECT_EQ(ier, error_code(6));
    EXPECT_EQ(show(sent_bytes()), show(kBelAttempt + "U0,0.0\r"));
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);
    EXPECT_EQ(gonioctl::g_state.override_value, 0);
    // No end of motion reported, the shutter not closed.
    EXPECT_EQ(g_events, (std::vector<std::string>{"set_interrupt 0", "set_interrupt 0"}));
}

TEST_F(ResetTest, PendingInterruptIsHeldOffDuringTheWaitAndRestored) {
    set_angles(10.0, 20.0, 30.0, 40.0);
    open_link();
    g_host_interrupt = 1;
    int32_t ier = -1;
    gcreset(&ier);
    // One attempt was enough: the pending request did not cut the wait short.
    const std::string bytes = sent_bytes();
    EXPECT_EQ(show(bytes.substr(0, kBelAttempt.size())), show(kBelAttempt));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\x07'), 2);
    EXPECT_EQ(g_events.at(0), "set_interrupt 0");
    EXPECT_EQ(g_events.at(1), "set_interrupt 1");
    EXPECT_EQ(g_host_interrupt.load(), 1);
}

TEST_F(ResetTest, ClosedLinkSendsNothing) {
    int32_t ier = -1;
    gcreset(&ier);
    EXPECT_EQ(ier, 0);
    ier = -1;
    gcsoftreset(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(gcreset(nullptr), 0);
    EXPECT_EQ(sent_bytes(), "");
    EXPECT_TRUE(g_events.empty());
}

}  // namespace
