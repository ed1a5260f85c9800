// Host callback slots, their guards, gcwait_anykey and the registration
// trace level.
#include "core/callbacks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/state.h"
#include "core/trace.h"
#include "gonioctl.h"

using namespace gonioctl;

namespace {

struct Calls {
    std::vector<std::string> log;
    int32_t idle_answer = 0;
    int32_t interrupt_after = -1;  // interrupt answers 1 from this call on
    int32_t interrupt_calls = 0;
    int32_t idle_calls = 0;
} g;

void on_angles(const float *a) {
    g.log.push_back("angles " + std::to_string(a[3]));
}
void on_motion(const int32_t *m) {
    g.log.push_back("motion " + std::to_string(*m));
}
void on_shutter(const int32_t *s) {
    g.log.push_back("shutter " + std::to_string(*s));
}
void on_attenuator(const int32_t *s) {
    g.log.push_back("attenuator " + std::to_string(*s));
}
void on_spare() {
    g.log.push_back("spare");
}
int32_t on_interrupt() {
    ++g.interrupt_calls;
    return g.interrupt_after >= 0 && g.interrupt_calls > g.interrupt_after ? 1 : 0;
}
int32_t on_idle() {
    ++g.idle_calls;
    return g.idle_answer;
}
void on_set_interrupt(const int32_t *s) {
    g.log.push_back("set_interrupt " + std::to_string(*s));
}
void on_trace(const char *t, int32_t n) {
    g.log.push_back("trace " + std::string(t, static_cast<std::size_t>(n)));
}

void register_all() {
    ::gc_callbacks(on_angles, on_motion, on_shutter, on_attenuator, on_spare, on_interrupt, on_idle,
                   on_set_interrupt, on_trace);
}

class CallbacksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("KORU$DBGLEVEL");
        unsetenv("KORU_DBGLEVEL");
        g_link.trace_level_read = false;
        g_link.reg_trace_level = -1;
        g_callbacks = CallbackSlots{};
        g = Calls{};
    }
};

}  // namespace

TEST_F(CallbacksTest, EmptySlotsAreSkippedAndAnswerZero) {
    const float angles[4] = {1, 2, 3, 4};
    notify_angles(angles);
    notify_motion(3);
    notify_shutter(1);
    notify_attenuator(1);
    set_interrupt(1);
    notify_trace("x", 1);
    EXPECT_EQ(ask_interrupt(), 0);
    EXPECT_EQ(ask_idle(), 0);
    EXPECT_EQ(::gcwait_anykey(), 0);  // nothing could end the wait: returns at once
}

TEST_F(CallbacksTest, RegisteredSlotsReceiveTheirArguments) {
    register_all();
    const float angles[4] = {1, 2, 3, 4};
    notify_angles(angles);
    notify_motion(5);
    notify_shutter(2);
    notify_attenuator(0);
    set_interrupt(1);
    notify_trace("AB", 2);
    g.interrupt_after = 0;
    g.idle_answer = 7;
    EXPECT_EQ(ask_interrupt(), 1);
    EXPECT_EQ(ask_idle(), 7);
    const std::vector<std::string> expected = {
        "angles 4.000000", "motion 5", "shutter 2", "attenuator 0", "set_interrupt 1", "trace AB",
    };
    EXPECT_EQ(g.log, expected);

    // Nine nulls empty every slot again.
    ::gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    g.log.clear();
    notify_motion(1);
    notify_trace("x", 1);
    EXPECT_EQ(ask_interrupt(), 0);
    EXPECT_TRUE(g.log.empty());
}

TEST_F(CallbacksTest, WaitAnykeyEndsOnNegativeIdleOrInterrupt) {
    register_all();
    g.idle_answer = -1;
    EXPECT_EQ(::gcwait_anykey(), 0);
    EXPECT_EQ(g.idle_calls, 1);
    EXPECT_EQ(g.interrupt_calls, 0);  // idle answered first

    g = Calls{};
    g.interrupt_after = 3;
    EXPECT_EQ(::gcwait_anykey(), 0);
    EXPECT_EQ(g.interrupt_calls, 4);
    EXPECT_EQ(g.idle_calls, 4);

    // Only the interrupt slot registered: idle counts as 0.
    ::gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, on_interrupt, nullptr, nullptr,
                   nullptr);
    g = Calls{};
    g.interrupt_after = 2;
    EXPECT_EQ(::gcwait_anykey(), 0);
    EXPECT_EQ(g.interrupt_calls, 3);
}

TEST_F(CallbacksTest, RegistrationTraceFromUnderscoreVariable) {
    setenv("KORU_DBGLEVEL", "8", 1);
    register_all();
    ASSERT_EQ(g.log.size(), 1u);
    EXPECT_EQ(g.log[0], "trace GC_CALLBACKS: ...");
    EXPECT_EQ(DBGLEVEL(), 8);
}

TEST_F(CallbacksTest, RegistrationTraceLevelBelowSevenSendsNothing) {
    setenv("KORU$DBGLEVEL", "6", 1);
    register_all();
    EXPECT_TRUE(g.log.empty());
    EXPECT_EQ(g_link.reg_trace_level, 6);
}

TEST_F(CallbacksTest, NeitherVariableMeansLevelOneAndTraceOff) {
    register_all();
    EXPECT_TRUE(g.log.empty());
    EXPECT_EQ(g_link.reg_trace_level, 1);
    EXPECT_EQ(DBGLEVEL(), 0);
}

TEST_F(CallbacksTest, MinusOneIsReadAgainAtTheNextRegistration) {
    setenv("KORU$DBGLEVEL", "-1", 1);
    register_all();
    EXPECT_TRUE(g.log.empty());
    EXPECT_EQ(g_link.reg_trace_level, -1);
    EXPECT_EQ(DBGLEVEL(), 0);  // not a plain number

    setenv("KORU$DBGLEVEL", "  7xyz", 1);  // read like atol
    register_all();
    ASSERT_EQ(g.log.size(), 1u);
    EXPECT_EQ(g.log[0], "trace GC_CALLBACKS: ...");
    EXPECT_EQ(DBGLEVEL(), 0);  // kept from its first reading
}
