// The gonioctl tool driven as a user or a script would: a child process per
// run, against the embedded simulator, checking exit status and output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

// The tool under test; empty when it is not built.
std::string tool_path() {
#ifdef GONIOCTL_TOOL
    return GONIOCTL_TOOL;
#else
    return {};
#endif
}

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

// Runs the tool with args. When interrupt_on is not empty, SIGINT is sent
// once that text has appeared on standard output.
RunResult run(const std::vector<std::string> &args, const std::string &interrupt_on = {},
              double timeout_s = 60.0) {
    RunResult r;
    const std::string tool = tool_path();
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err_pipe[1], 2);
    posix_spawn_file_actions_addclose(&fa, out_pipe[0]);
    posix_spawn_file_actions_addclose(&fa, err_pipe[0]);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool.c_str()));
    for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, tool.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (rc != 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        return r;
    }
    bool interrupted = false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    while (open_fds > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
                continue;
            }
            (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
        }
        if (!interrupt_on.empty() && !interrupted &&
            r.out.find(interrupt_on) != std::string::npos) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0) close(f.fd);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::vector<std::string> words(const std::string &s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find(' ', i);
        if (j == std::string::npos) j = s.size();
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// A small strict JSON reader: enough to tell whether a document parses, and
// to pull out a top-level member's raw text.
class JsonCheck {
  public:
    explicit JsonCheck(const std::string &t) : t_(t) {}
    bool valid() {
        p_ = 0;
        ws();
        if (!value(0)) return false;
        ws();
        return p_ == t_.size();
    }

  private:
    void ws() {
        while (p_ < t_.size() && std::strchr(" \t\r\n", t_[p_])) ++p_;
    }
    bool lit(const char *w) {
        const size_t n = std::strlen(w);
        if (t_.compare(p_, n, w) != 0) return false;
        p_ += n;
        return true;
    }
    bool string() {
        if (p_ >= t_.size() || t_[p_] != '"') return false;
        for (++p_; p_ < t_.size(); ++p_) {
            const char c = t_[p_];
            if (c == '"') {
                ++p_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') ++p_;
        }
        return false;
    }
    bool number() {
        const size_t start = p_;
        if (p_ < t_.size() && t_[p_] == '-') ++p_;
        while (p_ < t_.size() &&
               (std::isdigit(static_cast<unsigned char>(t_[p_])) || std::strchr(".eE+-", t_[p_])))
            ++p_;
        return p_ > start && std::isdigit(static_cast<unsigned char>(t_[p_ - 1]));
    }
    bool value(int depth) {
        if (depth > 32 || p_ >= t_.size()) return false;
        const char c = t_[p_];
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++p_;
            ws();
            if (p_ < t_.size() && t_[p_] == close) {
                ++p_;
                return true;
            }
            for (;;) {
                ws();
                if (c == '{') {
                    if (!string()) return false;
                    ws();
                    if (p_ >= t_.size() || t_[p_++] != ':') return false;
                    ws();
                }
                if (!value(depth + 1)) return false;
                ws();
                if (p_ >= t_.size()) return false;
                if (t_[p_] == ',') {
                    ++p_;
                    continue;
                }
                if (t_[p_] != close) return false;
                ++p_;
                return true;
            }
        }
        if (c == '"') return string();
        if (lit("true") || lit("false") || lit("null")) return true;
        return number();
    }
    const std::string &t_;
    size_t p_ = 0;
};

std::vector<std::string> lines(const std::string &s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find('\n', i);
        if (j == std::string::npos) j = s.size();
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (tool_path().empty()) GTEST_SKIP() << "the gonioctl tool is not built";
#ifndef GONIOCTL_TOOL_HAS_SIM
        GTEST_SKIP() << "the gonioctl tool is built without the simulator";
#endif
        // The tool's own settings must not be taken from the test's caller.
        unsetenv("KORU$DBGLEVEL");
        unsetenv("KORU_DBGLEVEL");
        unsetenv("VESK$STAGE");
        unsetenv("VESK_STAGE");
    }
};

struct Case {
    const char *args;
    int status;
    const char *expect;  // in standard output (status 0) or standard error
};

// One run per subcommand family, with its key output.
TEST_F(ToolTest, EveryFamilyAgainstTheSimulator) {
    const Case cases[] = {
        {"--sim angles", 0, "2theta"},
        {"--sim update 12.5 6 0 0 angles", 0, "12.500"},
        {"--sim check 20 10 0 0", 0, "allowed"},
        {"--sim check 20 70 0 0", 1, "Attempt to drive into OMEGA positive collision limit"},
        {"--sim drive 20 10 0 0", 1, "Goniometer angles must be updated first"},
        {"--sim update 0 0 0 0 drive 20 10 5 0 --speed 20", 0, "2theta    20.000  omega    10.000"},
        {"--sim --type 4 update 0 0 0 0 drive 20 30 0 0 --oscillate --readings 10 --gate --shutter",
         0, "drive done"},
        {"--sim update 0 0 0 0 drive 20 10 0 0 --rotate-phi --speed 180", 0, "drive done"},
        {"--sim update 0 0 0 0 home 2 --speed 50", 0, "omega homed"},
        {"--sim encoder 3 12.5", 0, "phi encoder set to 12.5000"},
        {"--sim manual --speed 2 --params 3,4", 0, "manual mode on"},
        {"--sim shutter open", 0, "shutter open"},
        {"--sim shutter open shutter close --delay 20", 0, "shutter closed"},
        {"--sim attenuator in", 0, "attenuator in"},
        {"--sim detector on detector gate 100 detector expose 10 20 30 detector attenuated 1 2 3",
         0, "attenuated exposure sent"},
        {"--sim generator set 40 30", 0, "generator 40 kV 30 mA"},
        {"limits set --omega -40,40 --coupled -50,50 limits get", 0,
         "omega      -40.000    40.000"},
        {"--sim stage get", 1, "no motorized distance stage"},
        {"--sim reset", 0, "hard reset done"},
        {"--sim reset --soft", 0, "soft reset done"},
        {"error --code 14", 0, "72155150 (code 14): Interrupted by user"},
        {"error 2", 0, "no such device"},
        {"error -1", 0, "not available"},
        {"--device /nonexistent/tty angles", 1, "no such device"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const RunResult r = run(words(c.args));
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        const std::string &where = c.status == 0 ? r.out : r.err;
        EXPECT_NE(where.find(c.expect), std::string::npos) << "stdout:\n"
                                                           << r.out << "stderr:\n"
                                                           << r.err;
    }
}

TEST_F(ToolTest, TypeThreeScanCollectsReadings) {
    const RunResult r =
        run(words("--sim update 0 0 0 0 drive 20 14 0 0 --speed 20 --gate --shutter "
                  "--count 3 --count-value 0.5 --lead 10 --trail 10"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("reading"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("drive done"), std::string::npos) << r.out;
}

TEST_F(ToolTest, StageCommandsWithADeclaredStage) {
    const RunResult r =
        run(words("--sim --stage stage update 25 stage limits 10 80 stage set 30 stage get"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("stage limits 10.000 80.000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("distance"), std::string::npos) << r.out;
}

TEST_F(ToolTest, WrongArgumentsGiveUsageErrors) {
    const char *const bad[] = {
        "",
        "drive 1 2",
        "drive 1 2 3 x",
        "drive nan 0 0 0",
        "--sim generator set 40 inf",
        "shutter ajar",
        "detector gate",
        "detector expose 1 2",
        "generator set 40",
        "stage set",
        "home 5",
        "--port 7 angles",
        "--type 5 angles",
        "--sim --device /dev/null angles",
        "drive 1 2 3 4 --speed 1,2",
        "drive 1 2 3 4 --oscillate --rotate-phi",
        "frobnicate",
        "demo angles",
    };
    for (const char *args : bad) {
        SCOPED_TRACE(args);
        const RunResult r = run(words(args));
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(ToolTest, JsonOutputParsesOneDocumentPerCommand) {
    // Trace lines of the library must not reach the JSON stream.
    const RunResult r =
        run(words("--json --trace 3 --sim update 0 0 0 0 drive 20 10 0 0 --speed 20 shutter open"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const auto docs = lines(r.out);
    ASSERT_EQ(docs.size(), 3u) << r.out;
    for (const auto &d : docs) {
        EXPECT_TRUE(JsonCheck(d).valid()) << d;
        EXPECT_NE(d.find("\"ok\":true"), std::string::npos) << d;
    }
    EXPECT_NE(docs[1].find("\"command\":\"drive\""), std::string::npos);
    EXPECT_NE(docs[1].find("\"2theta\":20"), std::string::npos) << docs[1];
    EXPECT_NE(docs[2].find("\"shutter_open\":true"), std::string::npos) << docs[2];
    // The wire traffic went to standard error instead.
    EXPECT_NE(r.err.find("U0,0.0"), std::string::npos) << r.err;
}

TEST_F(ToolTest, JsonFailureCarriesTheErrorText) {
    const RunResult r = run(words("--json --sim check 0 80 0 0"));
    EXPECT_EQ(r.status, 1);
    const auto docs = lines(r.out);
    ASSERT_EQ(docs.size(), 1u) << r.out;
    EXPECT_TRUE(JsonCheck(docs[0]).valid()) << docs[0];
    EXPECT_NE(docs[0].find("\"ok\":false"), std::string::npos);
    EXPECT_NE(docs[0].find("\"text\":\"Attempt to drive into OMEGA"), std::string::npos) << docs[0];
}

TEST_F(ToolTest, TraceThreeShowsTheWireTraffic) {
    const RunResult r = run(words("--trace 3 --sim angles"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("U0,0.0"), std::string::npos) << r.out;
}

TEST_F(ToolTest, CtrlCDuringADriveInterruptsIt) {
    // A slow simulated drive: SIGINT once the motion has been reported.
    const RunResult r = run(words("--sim --time-scale 1 update 0 0 0 0 drive 100 50 0 0 --speed 2"),
                            "moving:", 60.0);
    EXPECT_EQ(r.status, 130) << r.out << r.err;
    EXPECT_NE(r.err.find("Interrupted by user"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("drive done"), std::string::npos) << r.out;
}

TEST_F(ToolTest, DemoRunsToTheEnd) {
    const RunResult r = run({"demo"}, {}, 120.0);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("refused: Attempt to drive into OMEGA positive collision limit"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("demo finished"), std::string::npos) << r.out;
}

}  // namespace
