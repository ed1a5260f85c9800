// The simulated controller, talked to by a raw client on the slave side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/errors.h"
#include "gonioctl.h"
#include "goniosim/simulator.h"
#include "link/framing.h"
#include "support/sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using goniosim::Simulator;

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A host that opens the slave raw and reads whatever arrives.
class RawClient {
  public:
    explicit RawClient(const std::string &path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        struct termios t;
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~RawClient() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }

    void send(std::string_view s) {
        ASSERT_EQ(::write(fd_, s.data(), s.size()), (ssize_t)s.size());
    }

    // Reads until `records` records have arrived (or, with 0, until the
    // time-out): each ends with a CR, or is a single reset character; the
    // top bit is not looked at. eof is set when the far end went away.
    std::string read(int records, double timeout = 2.0) {
        std::string got;
        auto start = Clock::now();
        while (since(start) < timeout) {
            int ends = 0;
            for (unsigned char c : got)
                ends += (c & 0x7f) == 13 || (c & 0x7f) == 7 || (c & 0x7f) == 6;
            if (records > 0 && ends >= records) break;
            struct pollfd p = {fd_, POLLIN, 0};
            int r = ::poll(&p, 1, 10);
            if (r <= 0) continue;
            char buf[256];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) {
                eof = true;
                break;
            }
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    bool eof = false;

  private:
    int fd_ = -1;
};

// A simulator with a raw client connected to it.
class SimRaw : public ::testing::Test {
  protected:
    void start(goniosim::Options opts = {}) {
        sim = std::make_unique<Simulator>(opts);
        ASSERT_TRUE(sim->start());
        client = std::make_unique<RawClient>(sim->slave_path());
        ASSERT_TRUE(client->ok());
    }
    std::string ask(std::string_view line, int records = 1, double timeout = 2.0) {
        client->send(line);
        return client->read(records, timeout);
    }
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<RawClient> client;
};

}  // namespace

TEST(SimSplit, CommandsStartAtCapitalsAfterSeparatorsOrDigits) {
    struct Case {
        const char *line;
        Lines want;
    };
    const Case cases[] = {
        {"RC1GS2RC0", {"RC1", "GS2", "RC0"}},
        {"D U0,0.", {"D", "U0,0."}},
        {"HM3,  10.0", {"HM3,  10.0"}},
        {"DT1 W-7", {"DT1", "W-7"}},
        {"W-1,WA 10,W-3", {"W-1", "WA 10", "W-3"}},
        {"W+7 WA     0 W+3 W+1 M+3,1 W-1", {"W+7", "WA     0", "W+3", "W+1", "M+3,1", "W-1"}},
        {"S2  2.50000 A2 -12.500", {"S2  2.50000", "A2 -12.500"}},
        {"DL0", {"DL0"}},
        {"  ,W+1", {"W+1"}},
        {"wa 5", {"wa 5"}},
        {"", {}},
    };
    for (const auto &c : cases) EXPECT_EQ(goniosim::split_commands(c.line), c.want) << c.line;
}

TEST(SimReply, AngleReplyForm) {
    goniosim::Model m;
    m.axes[1].position = 10.0;
    m.axes[2].position = 20.0;
    m.axes[3].position = 30.0;
    EXPECT_EQ(goniosim::angle_reply(m), "   10.000   20.000   30.000    0.000     0     0\r");

    m.axes[1].position = -12.3456;
    m.axes[4].position = -0.00004;  // rounds to zero: written without a sign
    m.axes[2].position = 123456.0;  // too wide for the field: still set apart by a blank
    m.status1 = 1 + 4;
    m.status2 = 128;
    m.decimals = 4;
    EXPECT_EQ(goniosim::angle_reply(m), "  -12.3456 123456.0000   30.0000    0.0000     5   128\r");
}

TEST_F(SimRaw, AnswersTheAngleRequestInBothForms) {
    start();
    sim->with_model([](goniosim::Model &m) {
        m.axes[1].position = 10.0;
        m.axes[2].position = 350.5;
    });
    EXPECT_EQ(ask("U0,0.0\r"), "   10.000  350.500    0.000    0.000     0     0\r");
    EXPECT_EQ(ask("D U0,0.\r"), "   10.000  350.500    0.000    0.000     0     0\r");
}

TEST_F(SimRaw, EchoIsToggledByW0) {
    goniosim::Options o;
    o.echo = true;
    start(o);
    EXPECT_EQ(ask("U0,0.0\r", 2), "U0,0.0\r" + goniosim::angle_reply({}));
    EXPECT_EQ(ask("W0\r"), "W0\r");  // echoed, then the echo is off
    EXPECT_EQ(ask("U0,0.0\r", 2, 0.3), goniosim::angle_reply({}));
    EXPECT_EQ(ask("W0\r", 1, 0.3), "");  // back on: nothing to answer yet
    EXPECT_EQ(ask("DL0\r"), "DL0\r");
}

TEST_F(SimRaw, ResetCharactersAreAnsweredAtOnceAndDropPendingWork) {
    goniosim::Options o;
    o.time_scale = 1.0;
    start(o);
    EXPECT_EQ(ask("\x07\r"), "\x07");
    EXPECT_EQ(ask("\x06\r"), "\x06");
    // A long wait holds back the angle request; the reset drops both.
    client->send("WA 3000,U0,0.0\r");
    auto t = Clock::now();
    EXPECT_EQ(ask("\x07"), "\x07");
    EXPECT_LT(since(t), 1.0);
    EXPECT_EQ(client->read(1, 0.5), "");
    // Line feeds and XON/XOFF are ignored inside a line.
    EXPECT_EQ(ask("U0\n,0.\x11\x13\x30\r"), goniosim::angle_reply({}));
}

TEST_F(SimRaw, OutputLinesShowInStatusWordAndWaitsHoldBackLaterCommands) {
    goniosim::Options o;
    o.time_scale = 1.0;
    start(o);
    client->send("W+3,W+4,W+7\r");
    ASSERT_TRUE(sim->wait_idle());
    goniosim::Model m;
    sim->with_model([&](goniosim::Model &mm) { m = mm; });
    EXPECT_TRUE(m.outputs[3] && m.outputs[4] && m.outputs[7]);
    EXPECT_EQ(m.status1, goniosim::kStatusShutterLine | goniosim::kStatusAttenuatorLine);

    auto t = Clock::now();
    std::string r = ask("W-4 WA   200,U0,0.0\r");
    EXPECT_GE(since(t), 0.19);
    EXPECT_EQ(r, "    0.000    0.000    0.000    0.000     4     0\r");
    // A wait that is not a number waits nothing and the line goes on.
    EXPECT_EQ(ask("WA******,U0,0.\r", 1, 0.5), r);
    EXPECT_TRUE(sim->unrecognised().empty());
}

TEST_F(SimRaw, RecordsEveryLineByteForByteAndLogsUnknownCommands) {
    start();
    client->send("W+1\n\r");
    client->send("\x07\r\x11\r");
    client->send("XX9 U0,0.0\r");
    EXPECT_EQ(client->read(2), "\x07" + goniosim::angle_reply({}));
    ASSERT_TRUE(sim->sync());
    EXPECT_EQ(sim->lines(), (Lines{"W+1\n\r", "\x07\r", "\x11\r", "XX9 U0,0.0\r"}));
    EXPECT_EQ(sim->received(), "W+1\n\r\x07\r\x11\rXX9 U0,0.0\r");
    EXPECT_EQ(sim->unrecognised(), Lines{"XX9"});
    sim->clear_received();
    EXPECT_TRUE(sim->lines().empty());
}

TEST_F(SimRaw, QueuedRepliesAnswerLinesInOrderInsteadOfTheModel) {
    start();
    sim->queue_reply("first\r");
    sim->queue_reply("\x07");
    EXPECT_EQ(ask("W+3\r"), "first\r");  // no reply of its own, answered anyway
    EXPECT_EQ(ask("U0,0.0\r"), "\x07");
    EXPECT_EQ(ask("U0,0.0\r"), goniosim::angle_reply({}));
    // A scripted line is not carried out by the model.
    goniosim::Model m;
    sim->with_model([&](goniosim::Model &mm) { m = mm; });
    EXPECT_FALSE(m.outputs[3]);
    sim->send("unasked\r");
    EXPECT_EQ(client->read(1), "unasked\r");
}

TEST_F(SimRaw, FaultsAndInjectedDamage) {
    start();
    sim->set_fault(goniosim::Fault::Silence);
    EXPECT_EQ(ask("U0,0.0\r", 1, 0.3), "");
    EXPECT_EQ(ask("\x07\r", 1, 0.3), "");
    sim->set_fault(goniosim::Fault::Garbage);
    EXPECT_EQ(ask("U0,0.0\r"), goniosim::kGarbageRecord);
    sim->set_fault(goniosim::Fault::None);

    sim->with_model([](goniosim::Model &m) { m.axes[1].position = 1.0; });
    const std::string plain = "    1.000    0.000    0.000    0.000     0     0\r";
    struct Case {
        goniosim::Inject inj;
        std::string want;
    };
    std::string top;
    for (char c : plain) top += static_cast<char>(static_cast<unsigned char>(c) | 0x80);
    const Case cases[] = {
        {{.lf = true}, " \n" + plain.substr(1, plain.size() - 2) + "\n\r"},
        {{.xoff = true}, " \x13\x11" + plain.substr(1)},
        {{.top_bit = true}, top},
        {{.pad_to = 100}, plain.substr(0, plain.size() - 1) + std::string(100 - 48, ' ') + "\r"},
    };
    for (const auto &c : cases) {
        sim->set_inject(c.inj);
        EXPECT_EQ(show(ask("U0,0.0\r")), show(c.want));
    }
}

TEST_F(SimRaw, RepliesArePacedToTheLineRate) {
    goniosim::Options o;
    o.line_rate = 9600;  // 48 bytes: 50 ms
    start(o);
    auto t = Clock::now();
    EXPECT_EQ(ask("U0,0.0\r"), goniosim::angle_reply({}));
    double took = since(t);
    EXPECT_GE(took, 0.045);
    EXPECT_LT(took, 0.5);
}

TEST_F(SimRaw, HangUpEndsTheLineForTheHost) {
    start();
    EXPECT_EQ(ask("U0,0.0\r"), goniosim::angle_reply({}));
    auto t = Clock::now();
    sim->hang_up();
    client->read(1, 1.0);
    EXPECT_TRUE(client->eof);
    EXPECT_LT(since(t), 0.5);
}

TEST_F(SimRaw, ServesAHostThatClosesAndOpensAgain) {
    start();
    client->close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // master sees the hang-up
    client = std::make_unique<RawClient>(sim->slave_path());
    ASSERT_TRUE(client->ok());
    EXPECT_EQ(ask("U0,0.0\r"), goniosim::angle_reply({}));
}

// The library's own link against the simulator.

TEST_F(SimTest, OpeningTheLinkSendsTheHandshakeAndOpeningCommands) {
    int32_t ier = -1;
    gcsetport(1, &ier);
    gcopen(&ier);
    ASSERT_EQ(ier, 0);
    wait_idle();
    EXPECT_EQ(show(sent_lines()), show(Lines{"U0,0.0\r", "DL0\r", "DT1 W-7\r"}));
    EXPECT_TRUE(sim().unrecognised().empty()) << show(sim().unrecognised());
}

// An echoing controller, also on a line paced to 9600 baud as a real one.
class EchoingSimTest : public SimTest, public ::testing::WithParamInterface<int> {
  protected:
    EchoingSimTest() {
        sim_options.echo = true;
        sim_options.line_rate = GetParam();
    }
};

TEST_P(EchoingSimTest, OpeningTheLinkTurnsTheEchoOffWithOneW0) {
    int32_t ier = -1;
    gcsetport(1, &ier);
    gcopen(&ier);
    ASSERT_EQ(ier, 0);
    wait_idle();
    EXPECT_EQ(show(sent_lines()), show(Lines{"U0,0.0\r", "W0\r", "DL0\r", "DT1 W-7\r"}));
    EXPECT_FALSE(model().echo);
}

INSTANTIATE_TEST_SUITE_P(LineRates, EchoingSimTest, ::testing::Values(0, 9600));

TEST_F(SimTest, TheLibraryReadsCleanRecordsThroughInjectedDamage) {
    open_link();
    set_angles(10.0, 20.0, 30.0, 0.0);
    const std::string clean = "   10.000   20.000   30.000    0.000     0     0\r";
    const goniosim::Inject cases[] = {{.lf = true}, {.xoff = true}, {.top_bit = true}};
    for (const auto &inj : cases) {
        sim().set_inject(inj);
        char reply[80];
        int32_t ier = -1;
        gonioctl::GCQUERY("U0,0.0\r", 7, reply, sizeof reply, ier);
        EXPECT_EQ(ier, 0);
        EXPECT_EQ(show(std::string_view(reply, clean.size())), show(clean));
    }
    // A record longer than the reader's buffer overflows it.
    sim().set_inject({.pad_to = 100});
    char reply[80];
    int32_t ier = 0;
    gonioctl::GCQUERY("U0,0.0\r", 7, reply, sizeof reply, ier);
    EXPECT_EQ(ier, gonioctl::GCERR(13));
}

// The standalone program, run as a host developer runs it.

namespace {

std::string goniosim_program() {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/'));
    return dir + "/../sim/goniosim";
}

// Runs goniosim with args; its standard output is readable from *out_fd.
pid_t spawn_goniosim(const std::vector<std::string> &args, int *out_fd) {
    int p[2];
    if (::pipe(p) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(p[1], 1);
        ::close(p[0]);
        ::close(p[1]);
        std::string prog = goniosim_program();
        std::vector<char *> argv{prog.data()};
        for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(prog.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(p[1]);
    *out_fd = p[0];
    return pid;
}

int wait_exit(pid_t pid) {
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

}  // namespace

TEST(Goniosim, ServesOnItsLinkLogsTheTrafficAndStopsOnSigterm) {
    if (::access(goniosim_program().c_str(), X_OK) != 0) GTEST_SKIP() << "goniosim not built";
    char dir[] = "/tmp/goniosim_testXXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/gonio", log = std::string(dir) + "/log";
    int out = -1;
    pid_t pid = spawn_goniosim({"--link", link, "--time-scale", "0", "--log", log}, &out);
    ASSERT_GT(pid, 0);
    std::string path;
    char c;
    while (::read(out, &c, 1) == 1 && c != '\n') path += c;
    ::close(out);
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);
    {
        RawClient host(link);
        ASSERT_TRUE(host.ok());
        host.send("W+4,U0,0.0\r");
        EXPECT_EQ(host.read(1), "    0.000    0.000    0.000    0.000 32768     0\r");
    }
    ::kill(pid, SIGTERM);
    EXPECT_EQ(wait_exit(pid), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "link left behind";
    std::string logged;
    if (FILE *f = std::fopen(log.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, f)) logged += buf;
        std::fclose(f);
    }
    EXPECT_NE(logged.find("< W+4,U0,0.0<CR>"), std::string::npos) << logged;
    EXPECT_NE(logged.find(">     0.000"), std::string::npos) << logged;
    ::unlink(log.c_str());
    ::rmdir(dir);

    // Wrong arguments get a usage message and exit status 2.
    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"--type", "9"}, {"--time-scale", "x"}, {"--bogus"}}) {
        pid = spawn_goniosim(bad, &out);
        ::close(out);
        EXPECT_EQ(wait_exit(pid), 2) << bad[0];
    }
}
