// Command transmission and reply reception over a pseudo-terminal.
#include "link/framing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/callbacks.h"
#include "core/errors.h"
#include "core/state.h"
#include "link/sequencing.h"
#include "support/link_fixture.h"

using namespace gonioctl;
using testsupport::RawLink;

namespace {

double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string padded(std::string s, size_t n) {
    s.resize(n, ' ');
    return s;
}

}  // namespace

using Framing = RawLink;

TEST_F(Framing, Put1SendsUpToTrimmedLengthOnly) {
    struct Case {
        std::string text;
        std::string sent;
    } cases[] = {
        {"W+3     ", "W+3"},
        {std::string("W\0+3", 4), "W"},
        {"      ", ""},
        {"W+3\r", "W+3\r"},
    };
    for (const auto &c : cases) {
        int32_t st = 99;
        GCPUT1(c.text.data(), static_cast<int32_t>(c.text.size()), st);
        EXPECT_EQ(st, 0);
        EXPECT_EQ(sent_before_marker(), c.sent) << "text: " << c.text;
    }
}

TEST_F(Framing, RecordFramingCases) {
    const int32_t kOverflow = GCERR(13);
    const int32_t kSignal = GCERR(14);
    struct Case {
        const char *what;
        std::string bytes;
        int32_t buflen;
        std::string buffer;  // expected start of the buffer (rest blank)
        int32_t count;
        int32_t status;
        int32_t left;  // bytes still queued afterwards
    } cases[] = {
        {"LF dropped", "AB\n\r", 16, "AB\r", 3, 0, 0},
        {"top bit cleared", "\xC1\r", 16, "A\r", 2, 0, 0},
        {"XOFF and XON dropped",
         "A\x13"
         "B\x11\r",
         16, "AB\r", 3, 0, 0},
        {"CR in the last position", "ABC\r", 4, "ABC\r", 4, 0, 0},
        {"one character too many", "ABCD\r", 4, "ABCD", 0, kOverflow, 0},
        {"overflow leaves the rest queued", "ABCDEF\r", 4, "ABCD", 0, kOverflow, 2},
        {"BEL first empties the queue", "\aJUNK\rMORE\r", 16, "\a", 1, kSignal, 0},
        {"ACK inside a record",
         "AB\x06"
         "CD\r",
         16,
         "\x06"
         "B",
         1, kSignal, 0},
        {"EOT", "\x04\r", 16, "\x04", 1, kSignal, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        queue(c.bytes);
        char buf[16];
        int32_t count = -7, st = -7;
        GCGETW(buf, c.buflen, 2.0f, count, st);
        EXPECT_EQ(st, c.status);
        if (c.status != kOverflow) {
            EXPECT_EQ(count, c.count);
        }
        EXPECT_EQ(std::string(buf, c.buflen), padded(c.buffer, c.buflen));
        int32_t q = -1;
        gcpoll(q);
        EXPECT_EQ(q, c.left);
        gonioctl::gcflush();
    }
}

TEST_F(Framing, QueuedRepliesAreReadOneAtATime) {
    queue("R1\rR2\r");
    char buf[8];
    int32_t count = 0, st = 0;
    GCGETW(buf, 8, 2.0f, count, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::string(buf, count), "R1\r");
    GCGETW(buf, 8, 2.0f, count, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::string(buf, count), "R2\r");
}

TEST_F(Framing, SilentControllerTimesOut) {
    queue("PART");
    char buf[16];
    int32_t count = 0, st = 0;
    double t0 = now_s();
    GCGETW(buf, 16, 0.3f, count, st);
    double took = now_s() - t0;
    EXPECT_EQ(st, GCERR(10));
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 1.0);
    EXPECT_EQ(std::string(buf, 6), "PART  ");  // the part received stays
}

TEST_F(Framing, FarEndClosingEndsTheWaitAtOnce) {
    queue("AB");
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        peer.hang_up();
    });
    char buf[16];
    int32_t count = 0, st = 0;
    double t0 = now_s();
    GCGETW(buf, 16, 3.0f, count, st);
    double took = now_s() - t0;
    closer.join();
    EXPECT_EQ(st, 31);
    EXPECT_LT(took, 1.0);
    // Later waits end at once too, and never spin on the dead device.
    t0 = now_s();
    GCGETW(buf, 16, 0.0f, count, st);
    EXPECT_EQ(st, 31);
    EXPECT_LT(now_s() - t0, 0.5);
}

TEST_F(Framing, LineThatNeverFallsQuietCannotHoldTheReaderOrTheFlush) {
    char buf[16];
    int32_t count = 0, st = 0;

    // Nothing but characters the reader drops: the time-out still ends the wait.
    peer.start_flood("\n\x11\x13");
    double t0 = now_s();
    GCGETW(buf, 16, 0.3f, count, st);
    double took = now_s() - t0;
    peer.stop_flood();
    EXPECT_EQ(st, GCERR(10));
    EXPECT_LT(took, 1.5);

    // The flush gives up after its passes; the next reader then meets the
    // bytes still arriving and reports them (here as an overflow).
    gonioctl::gcflush();
    g_flush_passes = 3;
    t0 = now_s();
    peer.start_flood("x");
    int32_t q = 0;
    while (q == 0 && now_s() - t0 < 2.0) gcpoll(q);
    t0 = now_s();
    gonioctl::gcflush();
    took = now_s() - t0;
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 1.5);
    GCGETW(buf, 16, 0.3f, count, st);
    peer.stop_flood();
    EXPECT_EQ(st, GCERR(13));
}

namespace {
int g_interrupt_asks = 0;
int32_t interrupt_after_a_few() {
    return ++g_interrupt_asks >= 5 ? 1 : 0;
}
}  // namespace

TEST_F(Framing, InterruptEndsTheWaitWithStatusZeroAndPartialBuffer) {
    queue("AB");
    g_callbacks.interrupt = interrupt_after_a_few;
    char buf[8];
    int32_t count = -1, st = -1;
    double t0 = now_s();
    GCGETW(buf, 8, 0.0f, count, st);
    EXPECT_EQ(st, 0);
    EXPECT_LT(now_s() - t0, 1.0);
    EXPECT_EQ(std::string(buf, 8), "AB      ");
    EXPECT_EQ(count, 1);  // the count done of the last single-byte read
    g_callbacks.interrupt = nullptr;
}

TEST_F(Framing, QueryDiscardsStaleInputAndReadsTheAnswer) {
    queue("STALE\r");
    peer.on_line(
        [](const std::string &line) { return line == "Q1\r" ? std::string("NEW\r") : ""; });
    char reply[10];
    int32_t st = -1;
    GCQUERY("Q1", 2, reply, 10, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::string(reply, 10), "NEW\r      ");
}

TEST_F(Framing, ClosedLinkSendsAndReadsNothing) {
    queue("X\r");
    g_state.link_open = 0;
    int32_t st = -1, count = -1;
    GCPUT1("W+3\r", 4, st);
    EXPECT_EQ(st, 0);
    GCPUTS("W+3 W+4\r", 8, st);
    EXPECT_EQ(st, 0);
    char buf[4] = {'a', 'b', 'c', 'd'};
    GCGETW(buf, 4, 1.0f, count, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(std::string(buf, 4), "    ");
    int32_t q = 0;
    gcpoll(q);
    EXPECT_EQ(q, -1);
    g_state.link_open = 1;
    gcpoll(q);
    EXPECT_EQ(q, 2);  // nothing was read while closed
    EXPECT_EQ(sent_before_marker(), "");
}

namespace {
std::string g_trace_texts;
void collect_trace(const char *text, int32_t len) {
    g_trace_texts.append(text, len);
    g_trace_texts += '|';
}
}  // namespace

// The trace level is read once, at the first trace decision: set it first.
class FramingTraced : public RawLink {
  protected:
    void SetUp() override {
        setenv("KORU_DBGLEVEL", "4", 1);
        RawLink::SetUp();
    }
};

TEST_F(FramingTraced, TraceTextsAndEscapedTraceLines) {
    g_callbacks.trace = collect_trace;
    testing::internal::CaptureStdout();
    int32_t st = 0, count = 0;
    GCPUT1("W+3\r", 4, st);
    ASSERT_TRUE(peer.wait_for_suffix("W+3\r"));
    char buf[8];
    queue("OK\r");
    GCGETW(buf, 8, 2.0f, count, st);
    std::string out = testing::internal::GetCapturedStdout();
    g_callbacks.trace = nullptr;

    EXPECT_EQ(g_trace_texts, padded(">W+3", 120) + "|" + padded("<OK\r", 120) + "|");
    // Trace lines on standard output carry no raw control characters.
    for (char c : out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 32) << int(c);
    EXPECT_NE(out.find("W+3"), std::string::npos);
}
