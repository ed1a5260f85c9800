// The serial port layer on a pseudo-terminal.
#include "link/serial.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "core/state.h"
#include "support/link_fixture.h"

using namespace gonioctl;

namespace {
double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

TEST(Serial, SelectNamesComPorts) {
    struct Case {
        int32_t index;
        int32_t status;
        const char *name;
    } cases[] = {
        {3, 0, "COM4:"}, {0, 0, "COM1:"}, {4, -1, "COM1:"}, {2, 0, "COM3:"}, {-1, -1, "COM3:"}};
    for (const auto &c : cases) {
        int32_t st = 99;
        COMSELECT(c.index, st);
        EXPECT_EQ(st, c.status) << c.index;
        EXPECT_STREQ(g_link.port_name, c.name) << c.index;
    }
}

TEST(Serial, OsErrorTable) {
    struct Case {
        int err;
        int32_t value;
    } cases[] = {{0, 0},     {ENOENT, 2},     {ENODEV, 2},      {ENXIO, 2}, {EACCES, 5},
                 {EPERM, 5}, {EBUSY, 5},      {EWOULDBLOCK, 5}, {EBADF, 6}, {ENOTTY, 1},
                 {EIO, 31},  {ETIMEDOUT, 31}, {EINVAL, 31}};
    for (const auto &c : cases) EXPECT_EQ(os_error(c.err), c.value) << c.err;
}

TEST(Serial, OperationsOnAClosedPortReportBadHandle) {
    char b = 'x';
    int32_t done = -1, st = 0, q = -1, flag = 7;
    COMWRITE(&b, 1, done, st);
    EXPECT_EQ(st, 6);
    COMREAD(&b, 1, done, st);
    EXPECT_EQ(st, 6);
    COMQUEUE(q, flag);
    EXPECT_EQ(q, 0);
    EXPECT_EQ(flag, 7);
    COMCLOSE(st);
    EXPECT_EQ(st, 6);
    EXPECT_EQ(COMWAIT(5), 6);
}

TEST(Serial, SleepRoundsToMilliseconds) {
    double t0 = now_s();
    GCSLEEP(-1.0f);
    GCSLEEP(0.0004f);
    EXPECT_LT(now_s() - t0, 0.05);
    t0 = now_s();
    GCSLEEP(0.1f);
    double took = now_s() - t0;
    EXPECT_GE(took, 0.099);
    EXPECT_LT(took, 0.5);
}

using SerialLine = testsupport::RawLink;

TEST_F(SerialLine, SetupMapsParityStopBitsAndFlowControl) {
    struct Case {
        const char *parity;
        float stop;
        const char *flow;
        tcflag_t cflag_set, cflag_clear, iflag_set;
    } cases[] = {
        {"Even", 1.0f, "Xon/Xoff", 0, PARODD | CMSPAR | CSTOPB, IXON | IXOFF},
        {"Odd", 2.0f, "None", PARODD | CSTOPB, CMSPAR, 0},
        {"Mark", 1.0f, "C", PARODD | CMSPAR | CRTSCTS, CSTOPB, 0},
        {"Space", 1.5f, "H", CMSPAR | CSTOPB | CRTSCTS, PARODD, 0},
        {"None", 1.0f, "D", 0, PARODD | CMSPAR | CSTOPB | CRTSCTS, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.parity);
        // Start every case from a plain line.
        termios base{};
        tcgetattr(peer.slave_fd(), &base);
        cfmakeraw(&base);
        base.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        tcsetattr(peer.slave_fd(), TCSANOW, &base);

        int32_t st = -1;
        COMSETUP(19200, 8, c.parity, 4, c.stop, c.flow, 4, st);
        EXPECT_EQ(st, 0);
        termios tio{};
        tcgetattr(peer.slave_fd(), &tio);
        // A pseudo-terminal always reports 8 bits without parity enable, so
        // the parity kind is seen in PARODD and CMSPAR.
        EXPECT_EQ(cfgetospeed(&tio), B19200);
        EXPECT_EQ(tio.c_cflag & c.cflag_set, c.cflag_set);
        EXPECT_EQ(tio.c_cflag & c.cflag_clear, 0u);
        EXPECT_EQ(tio.c_iflag & c.iflag_set, c.iflag_set);
    }
}

TEST_F(SerialLine, SetupLeavesUnknownSettingsAlone) {
    termios base{};
    tcgetattr(peer.slave_fd(), &base);
    base.c_cflag |= PARODD | CSTOPB;
    base.c_iflag |= IXON;
    tcsetattr(peer.slave_fd(), TCSANOW, &base);

    int32_t st = -1;
    // Lower-case parity, stop bits 1.25 and no flow control keep what the line had.
    COMSETUP(9600, 8, "e", 1, 1.25f, "None", 4, st);
    EXPECT_EQ(st, 0);
    termios tio{};
    tcgetattr(peer.slave_fd(), &tio);
    EXPECT_EQ(tio.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(PARODD | CSTOPB));
    EXPECT_EQ(tio.c_iflag & IXON, static_cast<tcflag_t>(IXON));
    EXPECT_EQ(cfgetospeed(&tio), B9600);  // the other settings are still written

    // A rate or byte size the line cannot take is refused; the line stays.
    COMSETUP(12345, 8, "N", 1, 1.0f, "N", 1, st);
    EXPECT_EQ(st, 87);
    COMSETUP(9600, 9, "N", 1, 1.0f, "N", 1, st);
    EXPECT_EQ(st, 87);
    tcgetattr(peer.slave_fd(), &tio);
    EXPECT_EQ(tio.c_cflag & PARODD, static_cast<tcflag_t>(PARODD));
}

TEST_F(SerialLine, WriteWaitsForXonAndGivesUpAfterTheHoldLimit) {
    int32_t st = 0;
    COMSETUP(9600, 8, "N", 1, 1.0f, "X", 1, st);
    ASSERT_EQ(st, 0);

    // Held for a while: the write waits and goes through at XON.
    peer.send("\x13");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        peer.send("\x11");
    });
    char b = 'A';
    int32_t done = 0;
    double t0 = now_s();
    COMWRITE(&b, 1, done, st);
    double took = now_s() - t0;
    releaser.join();
    EXPECT_EQ(st, 0);
    EXPECT_EQ(done, 1);
    EXPECT_GE(took, 0.2);
    EXPECT_TRUE(peer.wait_for_suffix("A"));

    // Held for good: the first write gives up after the hold limit, the
    // next ones at once; XON lets writes through again.
    g_write_hold_seconds = 0.2f;
    peer.send("\x13");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    b = 'B';
    t0 = now_s();
    COMWRITE(&b, 1, done, st);
    took = now_s() - t0;
    EXPECT_EQ(st, 31);
    EXPECT_GE(took, 0.19);
    EXPECT_LT(took, 1.0);
    t0 = now_s();
    COMWRITE(&b, 1, done, st);
    EXPECT_EQ(st, 31);
    EXPECT_LT(now_s() - t0, 0.05);
    peer.send("\x11");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    b = 'C';
    COMWRITE(&b, 1, done, st);
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(peer.wait_for_suffix("C"));
}
