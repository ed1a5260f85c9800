// Faults injected from outside the library: a controller that vanishes,
// floods, falls silent or answers garbage, a port held by another process,
// calls made with the link closed, and host arguments at the edges of their
// types. Every case must end in a clear status, never in a crash, an
// overrun, a hang or lost state.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "core/state.h"
#include "gonioctl.h"
#include "support/sim_fixture.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

double now_s() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// Every byte the library sends is a printable character or one of the
// line's control characters: a value that did not fit a field shows as '*',
// never as "nan", "inf" or stray bytes.
void expect_clean_traffic(const std::string &bytes, const std::string &what) {
    for (unsigned char c : bytes) {
        const bool ok = (c >= 32 && c < 127) || c == 13 || c == 7 || c == 6 || c == 4;
        EXPECT_TRUE(ok) << what << ": byte " << int(c) << " in " << show(bytes);
    }
    for (const char *word : {"nan", "NaN", "NAN", "inf", "INF", "Inf"}) {
        EXPECT_EQ(bytes.find(word), std::string::npos) << what << ": " << show(bytes);
    }
}

// Runs fn with an interrupt callback that ends every reply wait at once:
// for commands whose '*' fields the controller does not answer.
int32_t interrupt_now() {
    return 1;
}
void without_reply_waits(const std::function<void()> &fn) {
    gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, interrupt_now, nullptr, nullptr,
                 nullptr);
    fn();
    gc_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool all_finite(const float *v, int n) {
    for (int k = 0; k < n; ++k)
        if (!std::isfinite(v[k])) return false;
    return true;
}

}  // namespace

class Fault : public SimTest {
  protected:
    // The stage entry points talk only when a stage is declared; the
    // setting is read once per process, before the first stage call.
    void SetUp() override {
        ::setenv("VESK_STAGE", "motor", 1);
        SimTest::SetUp();
    }
};

// The controller side goes away while the library waits for a drive to end
// (a USB adapter pulled out): the wait ends at once with an OS error value,
// and the host can close and open the link again on another device.
TEST_F(Fault, DeviceVanishesDuringAWaitThenReopenWorksOnANewDevice) {
    open_link();
    sim().set_fault(goniosim::Fault::Silence);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sim().hang_up();
    });
    int32_t reading = 0, ier = 0;
    const double t0 = now_s();
    gcdrscwait(0, &reading, 10.0f, &ier);
    const double took = now_s() - t0;
    unplug.join();
    EXPECT_NE(ier, 0);
    int32_t facility = 0, code = 0;
    gonioctl::ERR_SPLIT(ier, facility, code);
    EXPECT_NE(facility, gonioctl::kFacility) << "an OS error number, not a library value";
    EXPECT_LT(took, 1.5);

    // Further calls on the dead device fail at once too.
    float angles[4] = {1, 2, 3, 4};
    const double t1 = now_s();
    gcreada(angles, &ier);
    EXPECT_NE(ier, 0);
    EXPECT_LT(now_s() - t1, 1.0);

    gcclose(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(gc_is_open(), 0);

    goniosim::Simulator other;
    ASSERT_TRUE(other.start());
    other.with_model([](goniosim::Model &m) {
        m.axes[1].position = m.axes[1].target = 20.0;
        m.axes[2].position = m.axes[2].target = 10.0;
    });
    ASSERT_EQ(::setenv("GONIOCTL_COM1", other.slave_path().c_str(), 1), 0);
    gcopen(&ier);
    ASSERT_EQ(ier, 0);
    gcreada(angles, &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_FLOAT_EQ(angles[0], 20.0f);
    EXPECT_FLOAT_EQ(angles[1], 10.0f);
    gcclose(&ier);
    other.stop();
}

// A reply of thousands of bytes without a CR fills no buffer past its end
// (the sanitizer build checks the stores) and gives code 13 from every
// reader; the next exchange works again.
TEST_F(Fault, FloodWithoutCarriageReturnGivesCode13AndTheLinkRecovers) {
    open_link();
    const std::string flood(6000, '7');
    struct Reader {
        const char *name;
        std::function<int32_t()> call;
    };
    float f4[4], lo = 0, hi = 0, v = 0, c = 0;
    int32_t r1 = 0, r2 = 0, reading = 0;
    const std::vector<Reader> readers = {
        {"gcreada",
         [&] {
             int32_t ier;
             gcreada(f4, &ier);
             return ier;
         }},
        {"gcreadref",
         [&] {
             int32_t ier;
             gcreadref(&r1, &r2, &ier);
             return ier;
         }},
        {"gcdrscwait",
         [&] {
             int32_t ier;
             gcdrscwait(0, &reading, 5.0f, &ier);
             return ier;
         }},
        {"gcget_generator",
         [&] {
             int32_t ier;
             gcget_generator(&v, &c, &ier);
             return ier;
         }},
        {"gcgetdistance",
         [&] {
             int32_t ier;
             gcgetdistance(&v, &ier);
             return ier;
         }},
        {"gcgetdistlimits",
         [&] {
             int32_t ier;
             gcgetdistlimits(&lo, &hi, &ier);
             return ier;
         }},
    };
    for (const auto &r : readers) {
        SCOPED_TRACE(r.name);
        if (std::string(r.name) == "gcdrscwait") {
            sim().send(flood);
        } else {
            sim().queue_reply(flood);
        }
        EXPECT_EQ(r.call(), gonioctl::GCERR(13));
        gcflush();
        // The controller answers normally again.
        sim().clear_received();
        float angles[4];
        int32_t ier = -1;
        gcreada(angles, &ier);
        EXPECT_EQ(ier, 0);
    }
}

// A controller that answers nothing: the drive wait gives code 10 within its
// time-out plus 0.2 seconds, for every time-out a host may pick.
TEST_F(Fault, SilentControllerGivesCode10WithinTheTimeOut) {
    open_link();
    sim().set_fault(goniosim::Fault::Silence);
    for (float timeout : {0.3f, 1.0f}) {
        int32_t reading = 0, ier = 0;
        const double t0 = now_s();
        gcdrscwait(0, &reading, timeout, &ier);
        const double took = now_s() - t0;
        EXPECT_EQ(ier, gonioctl::GCERR(10)) << timeout;
        EXPECT_GE(took, timeout - 0.01);
        EXPECT_LE(took, timeout + 0.2) << timeout;
    }
}

// Replies of garbage, NUL and top-bit bytes, too many points or digits, and
// numbers out of range, in place of every kind of reply: each reader
// reports an error value or reads finite numbers; no reply leaves NaN or
// infinite angles stored for later drives.
TEST_F(Fault, GarbageInEveryKindOfReply) {
    open_link();
    const std::vector<std::string> replies = {
        std::string("\0\0\0\0\r", 5),
        "\xff\xfe\x80\xc1\xae\xb0\r",
        "#?@!~%&*^$\r",
        "....................................\r",
        "1.2.3.4.5.6.7.8.9.0.1.2.3.4.5.6.7.8.9.0\r",
        ", , , , , ,\r",
        "-. +. E+ D- .E\r",
        "nan nan nan nan 0 0\r",
        "inf -inf inf inf 0 0\r",
        "1e999 1e999 1e999 1e999 0 0\r",
        "3.4e38 -3.4e38 1.0 2.0 0 0\r",
        "1.0 2.0 3.0 4.0 99999999999999 -99999999999999\r",
        "1.0 2.0 3.0 4.0 0.5 0\r",
        "?99\r",
        "?\xb0\xb4\r",
        "ST 1e30\r",
        "ST nan\r",
        "99999999999999999999999\r",
        std::string(79, '9') + "\r",
        "\r",
    };
    struct Reader {
        const char *name;
        bool sends_first;  // the reply answers a command the reader sends
        std::function<int32_t()> call;
    };
    float f4[4], g4[4], lo = 0, hi = 0, v = 0, c = 0;
    int32_t r1 = 0, r2 = 0, reading = 0;
    const float home[4] = {10, 20, 30, 40};
    const std::vector<Reader> readers = {
        {"gcreada", true,
         [&] {
             int32_t ier;
             gcreada(f4, &ier);
             return ier;
         }},
        {"gcupdate", true,
         [&] {
             int32_t ier;
             gcupdate(home, g4, &ier);
             return ier;
         }},
        {"gcreadref", true,
         [&] {
             int32_t ier;
             gcreadref(&r1, &r2, &ier);
             return ier;
         }},
        {"gcdrscwait", false,
         [&] {
             int32_t ier;
             gcdrscwait(0, &reading, 2.0f, &ier);
             return ier;
         }},
        {"gcset_generator", true,
         [&] {
             int32_t ier;
             gcset_generator(40, 30, &ier);
             return ier;
         }},
        {"gcget_generator", true,
         [&] {
             int32_t ier;
             gcget_generator(&v, &c, &ier);
             return ier;
         }},
        {"gcgetdistance", true,
         [&] {
             int32_t ier;
             gcgetdistance(&v, &ier);
             return ier;
         }},
        {"gcgetdistlimits", true,
         [&] {
             int32_t ier;
             gcgetdistlimits(&lo, &hi, &ier);
             return ier;
         }},
        {"gcupdate_dist", true,
         [&] {
             int32_t ier;
             gcupdate_dist(25, &v, &ier);
             return ier;
         }},
    };
    for (const auto &r : readers) {
        for (const auto &reply : replies) {
            SCOPED_TRACE(std::string(r.name) + " <- " + show(reply));
            gcflush();
            sim().clear_received();
            // The garbage answers the reader's first command (or comes
            // unasked, for the drive wait); later exchanges get the
            // controller's own answers.
            if (r.sends_first) {
                sim().queue_reply(reply);
            } else {
                sim().send(reply);
            }
            v = c = lo = hi = 0.0f;
            const int32_t ier = r.call();
            float stored[4];
            gcgetangles(stored);
            EXPECT_TRUE(all_finite(stored, 4))
                << stored[0] << " " << stored[1] << " " << stored[2] << " " << stored[3];
            if (ier == 0) {
                EXPECT_TRUE(std::isfinite(v) && std::isfinite(c) && std::isfinite(lo) &&
                            std::isfinite(hi));
            }
        }
    }
}

// Another process holds the port: the open is refused with 5 (access
// denied) and the link stays closed; once the other process lets go, the
// open works.
TEST_F(Fault, PortHeldByAnotherProcessGives5) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open(sim().slave_path().c_str(), O_RDWR | O_NOCTTY);
        char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char go = 0;
        (void)!read(release[0], &go, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    int32_t ier = -1;
    gcsetport(1, &ier);
    gcopen(&ier);
    EXPECT_EQ(ier, 5);
    EXPECT_EQ(gc_is_open(), 0);

    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    gcopen(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(gc_is_open(), 1);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

// With the link closed (here: after it was open), no entry point sends a
// byte, and each reports what it reports for a closed link.
TEST_F(Fault, EveryEntryPointWithTheLinkClosedSendsNothing) {
    open_link();
    int32_t ier = 0;
    gcclose(&ier);
    ASSERT_EQ(gc_is_open(), 0);
    sim().clear_received();

    float f4[4] = {1, 2, 3, 4}, g4[4] = {1, 2, 3, 4}, f5[5] = {1, 1, 1, 1, 1};
    const float target[4] = {10, 20, 30, 40};
    const float speeds[4] = {1, 1, 1, 1};
    float v = 5, c = 5, lo = 5, hi = 5, secs = 0;
    int32_t i1 = 0, i2 = 0, reading = 7, count = 0;
    const int32_t params[2] = {1, 1};
    int32_t words[11];
    struct Call {
        const char *name;
        int32_t expected_ier;
        std::function<void(int32_t &)> call;
    };
    const std::vector<Call> calls = {
        {"gcreada", 0, [&](int32_t &e) { gcreada(f4, &e); }},
        {"gcupdate", 0, [&](int32_t &e) { gcupdate(target, g4, &e); }},
        {"gcreadref", 0, [&](int32_t &e) { gcreadref(&i1, &i2, &e); }},
        {"gcdrsc", 0, [&](int32_t &e) { gcdrsc(target, 0, 0, speeds, 0, 0, &e); }},
        {"gcqdrsc", 0, [&](int32_t &e) { gcqdrsc(target, 0, 0, speeds, 0, 0, &e); }},
        {"gcqflush1", 0, [&](int32_t &e) { gcqflush1(&e); }},
        {"gcdrscwait", 0, [&](int32_t &e) { gcdrscwait(0, &reading, 1, &e); }},
        // Homing has no link test of its own: it reads the last field of an
        // empty reply, which is the empty-field read status -1.
        {"gchome_axis", -1, [&](int32_t &e) { gchome_axis(1, 10, &e); }},
        {"gcencoder_set", 0, [&](int32_t &e) { gcencoder_set(1, 10, &e); }},
        {"gcmanual_mode", 0, [&](int32_t &e) { gcmanual_mode(params, f5, &e); }},
        {"gcreset", 0, [&](int32_t &e) { gcreset(&e); }},
        {"gcsoftreset", 0, [&](int32_t &e) { gcsoftreset(&e); }},
        {"gcshutter", 0, [&](int32_t &e) { gcshutter(1, &e); }},
        {"gcshutter_delayed", 0, [&](int32_t &e) { gcshutter_delayed(1, 100, &e); }},
        {"gcinat", 0, [&](int32_t &e) { gcinat(&e); }},
        {"gcatten_delayed", 0, [&](int32_t &e) { gcatten_delayed(1, 100, &e); }},
        {"gcenable_det", 0, [&](int32_t &e) { gcenable_det(&e); }},
        {"gcdisable_det", 0, [&](int32_t &e) { gcdisable_det(&e); }},
        {"gcdettype", 0,
         [&](int32_t &e) {
             e = 0;
             gcdettype(&i1, &i2);
         }},
        {"gcenwaitsh_det", 0,
         [&](int32_t &e) {
             e = 0;
             gcenwaitsh_det(10, 100, 10);
         }},
        {"gcenwaitdis_det", 0,
         [&](int32_t &e) {
             e = 0;
             gcenwaitdis_det(100);
         }},
        {"gcenwaitat_det", 0,
         [&](int32_t &e) {
             e = 0;
             gcenwaitat_det(10, 100, 10);
         }},
        {"gcset_generator", 0, [&](int32_t &e) { gcset_generator(40, 30, &e); }},
        {"gcget_generator", 0, [&](int32_t &e) { gcget_generator(&v, &c, &e); }},
        {"gcsetlimits", 0,
         [&](int32_t &e) {
             e = 0;
             gcsetlimits(f5, f5);
         }},
        {"gcgetdistance", -1, [&](int32_t &e) { gcgetdistance(&v, &e); }},
        {"gcsetdistance", 0, [&](int32_t &e) { gcsetdistance(25, 10, &e); }},
        {"gcgetdistlimits", 0, [&](int32_t &e) { gcgetdistlimits(&lo, &hi, &e); }},
        {"gcsetdistlimits", 0, [&](int32_t &e) { gcsetdistlimits(10, 80, &e); }},
        {"gcupdate_dist", 0, [&](int32_t &e) { gcupdate_dist(25, &v, &e); }},
        {"gcflush", 0,
         [&](int32_t &e) {
             e = 0;
             gcflush();
         }},
        {"gcpoll", 0,
         [&](int32_t &e) {
             e = 0;
             gcpoll(&count);
             EXPECT_EQ(count, -1);
         }},
        {"gcshut_status", 0,
         [&](int32_t &e) {
             e = 0;
             gcshut_status(&i1, &secs);
         }},
        {"gcsysstatus", 0, [&](int32_t &e) { gcsysstatus(words, &e); }},
    };
    for (const auto &call : calls) {
        int32_t e = 12345;
        call.call(e);
        EXPECT_EQ(e, call.expected_ier) << call.name;
    }
    EXPECT_EQ(reading, 7);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(f4[k], 0.0f);
    EXPECT_EQ(v, 0.0f);  // gcgetdistance and gcget_generator give 0.0
    EXPECT_EQ(sent_bytes(), "") << show(sent_bytes());
}

// Host arguments at the edges of their types end in '*' fields, clamped
// values or error values: the sanitizer build traps any undefined
// arithmetic or conversion on the way, and nothing unprintable is sent.
TEST_F(Fault, ExtremeHostArgumentsNeverReachTheLineUnchecked) {
    open_link();
    const float bad[] = {kNaN, kInf, -kInf, 3.4e38f, -3.4e38f, 1e10f, -1e10f};
    const int32_t ibad[] = {INT_MIN, INT_MIN + 1, -1, INT_MAX, 99999999};
    int32_t ier = 0;

    for (float x : bad) {
        SCOPED_TRACE(x);
        const float angles[4] = {x, x, x, x};
        const float mixed[4] = {10, x, 30, 0};
        const float speeds[4] = {x, x, x, x};
        const float ok_speeds[4] = {1, 1, 1, 1};
        float out[4];
        // Finite angles of any size reduce into 0..360; the others are
        // refused before anything moves.
        gcchklimits(angles, 0, &ier);
        if (!std::isfinite(x)) {
            EXPECT_NE(ier, 0);
        }
        gcchklimits(mixed, 0, &ier);
        if (!std::isfinite(x)) {
            EXPECT_NE(ier, 0);
        }
        gcset_needupdate(0);
        gcdrsc(angles, 0, x, ok_speeds, 1, 0, &ier);
        if (!std::isfinite(x)) {
            EXPECT_NE(ier, 0);
        }
        gcdrsc(mixed, 2, x, speeds, 1, 0, &ier);
        gcdrsc(mixed, 0, 0, speeds, 0, 0, &ier);
        without_reply_waits([&] { gcupdate(angles, out, &ier); });
        gcencoder_set(1, x, &ier);
        gchome_axis(1, x, &ier);
        gcsetdistance(x, x, &ier);
        gcsetdistlimits(x, -x, &ier);
        without_reply_waits([&] { gcupdate_dist(x, out, &ier); });
        gcset_generator(x, x, &ier);
        const float lim_lo[5] = {x, -x, x, 0, x}, lim_hi[5] = {-x, x, x, 0, -x};
        gcsetlimits(lim_lo, lim_hi);
        const float f5[5] = {x, x, x, x, x};
        const int32_t params[2] = {1, 1};
        gcmanual_mode(params, f5, &ier);
        // Any time-out, with a record to end the wait.
        int32_t reading = 0;
        sim().send("10.000 20.000 30.000 40.000 0 0\r");
        gcdrscwait(0, &reading, x, &ier);
        gcflush();
    }
    for (int32_t n : ibad) {
        SCOPED_TRACE(n);
        const float target[4] = {10, 20, 30, 0};
        const float speeds[4] = {1, 1, 1, 1};
        gcaddflags_set_delay(&n, &n);
        gcaddflags_set_addtime(&n);
        gcdrsc(target, n, 1.0f, speeds, n, n, &ier);
        gcshutter(n, &ier);
        gcshutter_delayed(1, n, &ier);
        gcatten_delayed(n, n, &ier);
        gcenwaitsh_det(n, n, n);
        gcenwaitdis_det(n);
        gcenwaitat_det(n, n, n);
        gchome_axis(n, 10, &ier);
        gcencoder_set(n, 10, &ier);
        gcsysstatus(nullptr, &ier);
        int32_t reading = 0;
        sim().send("10.000 20.000 30.000 40.000 0 0\r");
        gcdrscwait(n, &reading, 0.2f, &ier);
        gcflush();
        const int32_t type = n;
        gcset_goniometer(&type);
        EXPECT_GE(gcget_goniometer(), 2);
        EXPECT_LE(gcget_goniometer(), 4);
    }
    expect_clean_traffic(sent_bytes(), "extreme arguments");

    // Port numbers: clamped to COM1..COM4, never an index past the names.
    int32_t type = 3;
    gcset_goniometer(&type);
    gcclose(&ier);
    for (int32_t port : ibad) {
        gcsetport(port, &ier);
        EXPECT_EQ(ier, 0) << port;
    }
}
