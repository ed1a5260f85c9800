// Opening, closing and identifying the link, against a pseudo-terminal
// that answers like the controller.
#include "link/link.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/state.h"
#include "gonioctl.h"
#include "support/pty_peer.h"

using namespace gonioctl;
using testsupport::PtyPeer;

namespace {

// Answers the angle request; echoes every line while its echo is on, and
// "W0" toggles the echo.
struct Controller {
    bool echo = false;
    std::string operator()(const std::string &line) {
        std::string out = echo ? line : "";
        if (line == "W0\r") echo = !echo;
        if (line == "U0,0.0\r") out += "   10.000   20.000   30.000   40.000     0     0\r";
        return out;
    }
};

int open_descriptors() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        peer.select_port(2);
        peer.on_line([this](const std::string &line) { return controller(line); });
    }
    void TearDown() override {
        int32_t ier = 0;
        ::gcclose(&ier);
    }
    Controller controller;
    PtyPeer peer;
};

}  // namespace

TEST_F(Link, OpenSendsHandshakeAndOpeningCommands) {
    int32_t ier = -1;
    ::gcopen(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(::gc_is_open(), 1);
    ASSERT_TRUE(peer.wait_for_suffix("DT1 W-7\r"));
    EXPECT_EQ(peer.received(), "U0,0.0\rDL0\rDT1 W-7\r");
}

TEST_F(Link, EchoingControllerGetsExactlyOneW0) {
    controller.echo = true;
    int32_t ier = -1;
    ::gcopen(&ier);
    EXPECT_EQ(ier, 0);
    ASSERT_TRUE(peer.wait_for_suffix("DT1 W-7\r"));
    EXPECT_EQ(peer.received(), "U0,0.0\rW0\rDL0\rDT1 W-7\r");
    EXPECT_FALSE(controller.echo);
}

TEST_F(Link, FailedHandshakeIsTriedOnceMore) {
    // The first probe is answered with a signal character, the second properly.
    peer.on_line([this, probes = 0](const std::string &line) mutable {
        if (line == "U0,0.0\r" && ++probes == 1) return std::string("\a");
        return controller(line);
    });
    int32_t ier = -1;
    ::gcopen(&ier);
    EXPECT_EQ(ier, 0);
    ASSERT_TRUE(peer.wait_for_suffix("DT1 W-7\r"));
    EXPECT_EQ(peer.received(), "U0,0.0\rU0,0.0\rDL0\rDT1 W-7\r");
}

TEST_F(Link, OpenProgramsARawXonXoffLine) {
    int32_t ier = -1;
    ::gcopen(&ier);
    ASSERT_EQ(ier, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(peer.slave_fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

TEST_F(Link, DeviceHeldByAnotherOpenerIsRefused) {
    // Another program holds the port.
    int other = open(peer.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    int32_t ier = -1;
    ::gcopen(&ier);
    EXPECT_EQ(ier, 5);
    EXPECT_EQ(::gc_is_open(), 0);
    close(other);

    // And while the library holds it, another opener is refused.
    ::gcopen(&ier);
    ASSERT_EQ(ier, 0);
    other = open(peer.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);  // root may open an exclusive terminal, but not lock it
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
}

TEST_F(Link, OpenFailuresGiveOsErrorNumbersAndLeaveTheLinkClosed) {
    struct Case {
        const char *device;
        int32_t ier;
    } cases[] = {
        {"/nonexistent/ttyXYZ", 2}, {"/dev/null", 1},  // not a terminal
    };
    for (const auto &c : cases) {
        setenv("GONIOCTL_COM2", c.device, 1);
        int32_t ier = -1;
        ::gcopen(&ier);
        EXPECT_EQ(ier, c.ier) << c.device;
        EXPECT_EQ(::gc_is_open(), 0);
        EXPECT_EQ(g_link.fd, -1);
    }
    // A blank setting falls back to the standard device name.
    setenv("GONIOCTL_COM2", "   ", 1);
    int32_t ier = -1;
    ::gcopen(&ier);
    if (access("/dev/ttyS1", F_OK) != 0) {
        EXPECT_EQ(ier, 2);
    }
    ::gcclose(&ier);
}

TEST_F(Link, ReopenWhileOpenClosesTheOldDescriptor) {
    int32_t ier = -1;
    ::gcopen(&ier);
    ASSERT_EQ(ier, 0);
    const int before = open_descriptors();
    ::gcopen(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(::gc_is_open(), 1);
    EXPECT_EQ(open_descriptors(), before);
    ASSERT_TRUE(peer.wait_for_suffix("DT1 W-7\rU0,0.0\rDL0\rDT1 W-7\r"));
}

TEST_F(Link, CloseReleasesThePort) {
    int32_t ier = -1;
    ::gcopen(&ier);
    ASSERT_EQ(ier, 0);
    ier = -1;
    ::gcclose(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(::gc_is_open(), 0);
    EXPECT_EQ(g_link.fd, -1);
    // Lock and exclusive mode are gone: another program can take the port.
    int other = open(peer.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
    // Closing a closed link does nothing.
    ier = -1;
    ::gcclose(&ier);
    EXPECT_EQ(ier, 0);
}

TEST_F(Link, FineGoniometerClearsNeedUpdateAtOpen) {
    for (int32_t type : {2, 3, 4}) {
        ::gcset_goniometer(&type);
        g_state.need_update = 1;
        int32_t ier = -1;
        ::gcopen(&ier);
        ASSERT_EQ(ier, 0);
        EXPECT_EQ(g_state.need_update, type == 4 ? 0 : 1) << "type " << type;
    }
}

TEST(LinkIdentity, PortTypeOverrideAndFixedAnswers) {
    struct Port {
        int32_t given;
        const char *name;
    } ports[] = {{0, "COM1:"}, {-5, "COM1:"}, {2, "COM2:"}, {4, "COM4:"}, {9, "COM4:"}};
    for (const auto &p : ports) {
        int32_t ier = -1;
        ::gcsetport(p.given, &ier);
        EXPECT_EQ(ier, 0);
        EXPECT_STREQ(g_link.port_name, p.name) << p.given;
    }
    ::gcsetport(3, nullptr);  // a missing ier is tolerated
    EXPECT_STREQ(g_link.port_name, "COM3:");

    int32_t t = 1;
    EXPECT_EQ(::gcset_goniometer(&t), 3);
    EXPECT_EQ(::gcget_goniometer(), 2);
    t = 3;
    ::gcset_goniometer(&t);
    t = 7;
    EXPECT_EQ(::gcset_goniometer(&t), 3);
    EXPECT_EQ(::gcget_goniometer(), 4);
    EXPECT_EQ(::gcset_goniometer(nullptr), 4);
    EXPECT_EQ(::gcget_goniometer(), 4);

    EXPECT_EQ(::gcget_controller_type(), 1);

    ::gcoverride(5);
    EXPECT_EQ(g_state.override_value, 0);  // link closed
    g_state.link_open = 1;
    ::gcoverride(5);
    EXPECT_EQ(g_state.override_value, 5);
    g_state.link_open = 0;

    int32_t ier = -1;
    EXPECT_EQ(::gcsetman(&ier), 0);
    EXPECT_EQ(ier, 0);
    ier = -1;
    ::gcsetchi(nullptr, &ier);
    EXPECT_EQ(ier, 0);
    ier = -1;
    ::gcgetversion(nullptr, &ier);
    EXPECT_EQ(ier, 0);
    ier = -1;
    ::gcsetbypass(&ier);
    EXPECT_EQ(ier, 0);
    ier = -1;
    ::gcresetbypass(&ier);
    EXPECT_EQ(ier, 0);
}
