// Console lines, error report texts and the three-line reports, and trace
// lines on standard output.
#include "support/report.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "core/errors.h"
#include "core/state.h"
#include "core/text.h"
#include "core/trace.h"
#include "support/console.h"
#include "support/stdout_capture.h"

using namespace gonioctl;
using gonioctl::testing::StdoutCapture;

namespace {

std::string err_text(int32_t value) {
    char t[80];
    ERR_TEXT(value, t, 80);
    return std::string(t, 80);
}

std::string at(const std::string &s, int32_t first, int32_t last) {  // columns from 1
    return s.substr(static_cast<std::size_t>(first - 1),
                    static_cast<std::size_t>(last - first + 1));
}

void set_level(const char *level) {
    setenv("KORU_DBGLEVEL", level, 1);
    g_link.trace_level_read = false;
}

}  // namespace

TEST(ConsoleTest, LinesCarryPrinterControl) {
    struct Case {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"ABC" + std::string(77, ' '), "\rABC\r\n"},
        {"+ABC", "ABC\r\n"},
        {std::string(10, ' '), "\r\r\n"},
        {std::string("AB\0CD", 5), "\rAB\r\n"},
        {" X ", "\r X\r\n"},
        {"+", "\r\n"},
        {"", "\r\r\n"},
    };
    StdoutCapture cap;
    for (const auto &c : cases) {
        CON_LINE(c.text.data(), static_cast<int32_t>(c.text.size()));
        EXPECT_EQ(cap.take(), c.bytes);
    }
    EXPECT_EQ(CON_WRITE("ABC", 3, 0), 0);
    EXPECT_EQ(CON_WRITE("ABC", 3, 9), 0);  // never past the end of the text
    EXPECT_EQ(cap.take(), "ABC");
}

TEST(ConsoleTest, UnusableOutputFailsQuietly) {
    // A closed standard output, and a pipe whose reader has gone: the writes
    // fail, and the second must not end the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_DFL);
    for (bool broken_pipe : {false, true}) {
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        if (broken_pipe) {
            int p[2];
            ASSERT_EQ(::pipe(p), 0);
            ::close(p[0]);
            ::dup2(p[1], STDOUT_FILENO);
            ::close(p[1]);
        } else {
            ::close(STDOUT_FILENO);
        }
        const int32_t written = CON_WRITE("ABC", 3, 3);
        CON_LINE("ABC", 3);  // nothing to see, nothing breaks
        TraceLine("GONE") << int32_t{1};
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        EXPECT_EQ(written, -1) << broken_pipe;
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        EXPECT_EQ(sigismember(&pending, SIGPIPE), 0) << "SIGPIPE left pending";
    }
}

TEST(ReportTest, TextsByFamily) {
    auto pad = [](const std::string &s) { return s + std::string(80 - s.size(), ' '); };
    EXPECT_EQ(err_text(0), std::string(80, ' '));
    EXPECT_EQ(err_text(-1), pad("End of file found on a READ with no END= option"));
    EXPECT_EQ(err_text(599), err_text(-1));
    EXPECT_EQ(err_text(1), pad("001 ERROR_INVALID_FUNCTION"));
    EXPECT_EQ(err_text(2), pad("002 ERROR_FILE_NOT_FOUND"));
    EXPECT_EQ(err_text(35), pad("035 no such error"));
    EXPECT_EQ(err_text(71), pad("071 ERROR_SHARING_PAUSED"));
    EXPECT_EQ(err_text(87), pad("087 ERROR_INVALID_PARAMETER"));
    EXPECT_EQ(err_text(163), pad("163 ERROR_"));
    EXPECT_EQ(err_text(180), pad("180 ERROR_INVALID_SEGMENT_NUMBER"));
    EXPECT_EQ(err_text(500), pad("WNT Error Message #   500"));
    EXPECT_EQ(err_text(1900), pad("WNT Error Message #  1900"));
    EXPECT_EQ(err_text(2001), pad("001"));
    EXPECT_EQ(err_text(2064), pad("064 Input conversion error"));
    EXPECT_EQ(err_text(2108), pad("108 Cannot stat file"));

    // 2109 on: the numbered run-time form, n in columns 22-32, hex in 34-41.
    for (int32_t v : {2109, 2130, 2200, 2759}) {
        const std::string t = err_text(v);
        EXPECT_EQ(at(t, 1, 21), "RTL Error Message #  ") << v;
        EXPECT_EQ(std::stoi(at(t, 22, 32)), v - 2000);
        EXPECT_EQ(at(t, 33, 33), " ");
        EXPECT_EQ(at(t, 42, 80), std::string(39, ' '));
    }
    EXPECT_EQ(at(err_text(2200), 22, 41), "        200       C8");

    for (int32_t v : {-2, 1950, 2760, 72155146}) {
        const std::string t = err_text(v);
        EXPECT_EQ(at(t, 1, 36), "Unknown Error Message #" + std::string(13, ' ')) << v;
        EXPECT_EQ(std::stol(at(t, 37, 47)), v);
        EXPECT_EQ(at(t, 57, 80), std::string(24, ' '));
    }
    EXPECT_EQ(at(err_text(72155146), 37, 56), "   72155146  44D000A");
    EXPECT_EQ(at(err_text(-2), 49, 56), "FFFFFFFE");

    char shortbuf[10 + 2] = {};
    shortbuf[10] = '#';
    ERR_TEXT(72155146, shortbuf, 10);  // cut to the caller's length
    EXPECT_EQ(std::string(shortbuf, 11), "Unknown Er#");
}

TEST(ReportTest, ErrMakeWritesThreeLinesAtLevelOne) {
    set_level("1");
    StdoutCapture cap;
    EXPECT_EQ(GCERR(10), 72155146);
    const std::string out = cap.take();
    // CR, text, CR LF for each of the three lines.
    const std::string head = "\r Error number (decimal,hex):    72155146   44D000A   at (sec): ";
    ASSERT_EQ(out.substr(0, head.size()), head);
    const std::size_t eol = out.find("\r\n");
    ASSERT_EQ(eol, 79u);  // 78 characters of text after the CR
    const double secs = std::stod(out.substr(head.size(), eol - head.size()));
    EXPECT_GE(secs, 0.0);
    EXPECT_LT(secs, 86400.0);
    const std::string rest = out.substr(eol + 2);
    EXPECT_EQ(rest, "\rERR_MAKE reported error.\r\n\rUnknown Error Message #" +
                        std::string(13, ' ') + "   72155146  44D000A\r\n");
}

TEST(ReportTest, ErrIostatReportsConvertedNumbersOnly) {
    set_level("1");
    StdoutCapture cap;
    EXPECT_EQ(ERR_IOSTAT(0), 0);
    EXPECT_EQ(cap.take(), "");
    EXPECT_EQ(ERR_IOSTAT(64), 2064);
    const std::string out = cap.take();
    EXPECT_NE(out.find("       2064       810   at (sec): "), std::string::npos) << out;
    EXPECT_NE(out.find("\rERR_IOSTAT reported error.\r\n\r064 Input conversion error\r\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(ERR_IOSTAT(-1), 599);
    EXPECT_NE(cap.take().find("\rEnd of file found on a READ with no END= option\r\n"),
              std::string::npos);
}

TEST(ReportTest, NothingIsWrittenAtLevelZero) {
    set_level("0");
    StdoutCapture cap;
    GCERR(3);
    ERR_IOSTAT(64);
    ERR_REPORT(5, "LABEL", 5);
    EXPECT_EQ(cap.take(), "");
}

TEST(TraceTest, TraceLinesShowValuesAndEscapeControlCharacters) {
    StdoutCapture cap;
    TraceLine("GCSETPORT") << "COM2:" << int32_t{2};
    TraceLine("GCGETW IC: ") << int32_t{13};
    TraceLine("VALUES") << 2.5 << true << false << int64_t{-7};
    TraceLine(">").text("U0,0.0\r\x07\x1b", 9);
    EXPECT_EQ(cap.take(),
              "GCSETPORT COM2: 2\n"
              "GCGETW IC: 13\n"
              "VALUES 2.5 T F -7\n"
              "> U0,0.0<CR><BEL><0x1B>\n");
}

TEST(TraceTest, OverlongLineIsCutNotOverrun) {
    StdoutCapture cap;
    const std::string big(5000, 'x');
    TraceLine("BIG") << big;
    const std::string out = cap.take();
    EXPECT_LE(out.size(), 1024u);
    EXPECT_EQ(out.back(), '\n');
}

TEST(TraceTest, TracingFollowsTheLevel) {
    set_level("3");
    EXPECT_TRUE(tracing(3));
    EXPECT_FALSE(tracing(4));
}
