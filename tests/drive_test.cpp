// Drive requests against the simulated controller: the exact lines on the
// wire for plain moves, oscillations, phi rotations and counting, the
// refusals that send nothing, and the queued line sent by gcqflush1.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/state.h"
#include "gonio/angles.h"
#include "gonioctl.h"
#include "motion/drive_state.h"
#include "motion/flags.h"
#include "support/sim_fixture.h"

namespace {

std::vector<int32_t> g_masks;
void record_motion(const int32_t *mask) {
    g_masks.push_back(*mask);
}

class DriveTest : public SimTest {
  protected:
    // Opens the link on a goniometer of the given type standing at the given
    // angles, with the need-update flag cleared and motion_cb recorded.
    void ready(int32_t type, std::vector<double> at) {
        set_model([&](goniosim::Model &m) { m.gonio_type = type; });
        set_angles(at[0], at[1], at[2], at[3]);
        open_link();
        ::gcset_goniometer(&type);
        gonioctl::gcset_needupdate(0);
        g_masks.clear();
        ::gc_callbacks(nullptr, record_motion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
    }

    int32_t drive(const std::vector<float> &to, const std::vector<float> &speeds, int32_t mode,
                  int32_t flags = 0, int32_t nreadings = 0, float cvalue = 0.0f,
                  bool queued = false) {
        int32_t ier = -1;
        if (queued)
            ::gcqdrsc(to.data(), nreadings, cvalue, speeds.data(), mode, flags, &ier);
        else
            ::gcdrsc(to.data(), nreadings, cvalue, speeds.data(), mode, flags, &ier);
        return ier;
    }
};

const std::string kAsk = "U0,0.0\r";  // the angle read that precedes every drive
const std::string kEnd = "U0,0.\r";   // the angle request that closes every drive line

struct WireCase {
    const char *name;
    int32_t type;
    std::vector<double> at;
    std::vector<float> to;
    std::vector<float> speeds;
    int32_t mode;
    int32_t flags;
    int32_t nreadings;
    float cvalue;
    Lines lines;  // after the angle read
    int32_t mask;
};

// Shows a case by its name in test listings and failure messages.
void PrintTo(const WireCase &c, std::ostream *os) {
    *os << c.name;
}

class DriveWire : public DriveTest, public ::testing::WithParamInterface<WireCase> {};

TEST_P(DriveWire, SendsExactLines) {
    const WireCase &c = GetParam();
    ready(c.type, c.at);
    EXPECT_EQ(drive(c.to, c.speeds, c.mode, c.flags, c.nreadings, c.cvalue), 0);
    Lines expected{kAsk};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    const Lines got = sent_lines();
    EXPECT_EQ(got, expected) << show(got);
    EXPECT_EQ(g_masks, std::vector<int32_t>{c.mask});
}

const std::vector<float> kTwo{2, 2, 2, 2};

INSTANTIATE_TEST_SUITE_P(
    Drive, DriveWire,
    ::testing::Values(
        WireCase{"TwoThetaWithPhiSpeed",
                 3,
                 {10, 5, 0, 0},
                 {20, 5, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"S1 2.00000\r", "A1 10.000\r", "S3    2.00000\r", "D\r", kEnd},
                 1},
        // 2-theta goes round through 0, never through 180.
        WireCase{"NeverThrough180",
                 3,
                 {100, 50, 0, 0},
                 {-100, -50, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"S1 2.00000\r", "A1 -200.000\r", "S2 2.00000\r", "A2 -100.000\r",
                  "S3    2.00000\r", "D\r", kEnd},
                 3},
        WireCase{"PhiShortWayUp",
                 3,
                 {0, 0, 350, 0},
                 {0, 0, 10, 0},
                 {0, 0, 2, 0},
                 1,
                 0,
                 0,
                 0,
                 {"S3 2.00000\r", "A3 20.000\r", "D\r", kEnd},
                 4},
        WireCase{"PhiShortWayDown",
                 3,
                 {0, 0, 10, 0},
                 {0, 0, 350, 0},
                 {0, 0, 2, 0},
                 1,
                 0,
                 0,
                 0,
                 {"S3 2.00000\r", "A3 -20.000\r", "D\r", kEnd},
                 4},
        // Omega moving with 2-theta goes at the slower 2-theta speed.
        WireCase{"OmegaAtTwoThetaSpeed",
                 3,
                 {0, 0, 0, 0},
                 {10, 5, 0, 0},
                 {3, 5, 0, 0},
                 1,
                 0,
                 0,
                 0,
                 {"S1 3.00000\r", "A1 10.000\r", "S2 3.00000\r", "A2 5.000\r", "D\r", kEnd},
                 3},
        WireCase{"NoSpeedNoMove",
                 3,
                 {0, 0, 0, 0},
                 {50, 5, 0, 0},
                 {0, 2, 0, 0},
                 1,
                 0,
                 0,
                 0,
                 {"S2 2.00000\r", "A2 5.000\r", "D\r", kEnd},
                 2},
        WireCase{"ChiNeverMovesOnType2",
                 2,
                 {0, 0, 0, 0},
                 {0, 0, 0, 20},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"D\r", kEnd},
                 0},
        WireCase{"BelowThresholdType2",
                 2,
                 {0, 0, 0, 0},
                 {0.005f, 0, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"D\r", kEnd},
                 0},
        WireCase{"AboveThresholdType2",
                 2,
                 {0, 0, 0, 0},
                 {0.02f, 0, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"S1 2.00000\r", "A1 0.020\r", "D\r", kEnd},
                 1},
        WireCase{"BelowThresholdType4",
                 4,
                 {0, 0, 0, 0},
                 {0.0005f, 0, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"D\r", kEnd},
                 0},
        WireCase{"FourDecimalsType4",
                 4,
                 {0, 0, 0, 0},
                 {0.002f, 0, 0, 0},
                 kTwo,
                 1,
                 0,
                 0,
                 0,
                 {"S1 2.00000\r", "A1 0.0020\r", "D\r", kEnd},
                 1},
        WireCase{"OscillationIsPlainOnType3",
                 3,
                 {0, 0, 0, 0},
                 {0, 25, 0, 0},
                 kTwo,
                 2,
                 0,
                 100,
                 0,
                 {"S2 2.00000\r", "A2 25.000\r", "S3    2.00000\r", "D\r", kEnd},
                 2},
        WireCase{"OscillationSubScans",
                 2,
                 {0, 0, 0, 0},
                 {0, 25, 0, 0},
                 kTwo,
                 2,
                 0,
                 100,
                 0,
                 {"O2  25.000   8.333    33\r", kEnd},
                 2},
        // Gate, shutter open and closed around the scan; the oscillation
        // command rides on the line of the command before it.
        WireCase{"OscillationGateAndShutter",
                 2,
                 {0, 0, 0, 0},
                 {0, -20, 0, 0},
                 kTwo,
                 2,
                 22,
                 500,
                 0,
                 {"W+7\r", "WA     0\r", "W+3,\r", "W+1  O2 -20.000  10.000   250\r", "W-1\r",
                  "WA     0\r", "W-7\r", kEnd},
                 2},
        // After the lead wait the oscillation command would make a line too
        // long to send whole: it goes on a line of its own, readings intact.
        WireCase{"OscillationAfterLeadWait",
                 2,
                 {0, 0, 0, 0},
                 {0, -20, 0, 0},
                 kTwo,
                 2,
                 2,
                 500,
                 0,
                 {"W+7\r", "WA     0\r", "O2 -20.000  10.000   250\r", "WA     0\r", "W-7\r", kEnd},
                 2},
        WireCase{"PhiRotation",
                 3,
                 {0, 0, 0, 0},
                 {0, 0, 0, 0},
                 kTwo,
                 3,
                 0,
                 0,
                 0,
                 {"S3,   2.00000\r", "W+7\r", "WA     0\r", "W+3\r", "W+1\r", "M+3,1\r", "W-1\r",
                  "WA    10\r", "W-7\r", "WA 10\r", kEnd},
                 4},
        WireCase{"CountingWithoutMotion",
                 3,
                 {0, 0, 0, 0},
                 {0, 0, 0, 0},
                 kTwo,
                 0,
                 1,
                 10,
                 2.5f,
                 {"I    10\r", "C 0,     2.500\r", "D\r"},
                 0},
        WireCase{"CountingDuringMove",
                 3,
                 {0, 0, 0, 0},
                 {10, 0, 0, 0},
                 {2, 0, 0, 0},
                 1,
                 1,
                 10,
                 2.5f,
                 {"S1 2.00000\r", "A1 10.000\r", "I    10\r", "C 0,     2.500\r", "D\r", kEnd},
                 1},
        // No counting without flag bit 1, or with no readings.
        WireCase{"CountingNeedsFlag", 3, {0, 0, 0, 0}, {0, 0, 0, 0}, kTwo, 0, 0, 10, 2.5f, {}, 0},
        WireCase{
            "CountingNeedsReadings", 3, {0, 0, 0, 0}, {0, 0, 0, 0}, kTwo, 0, 1, 0, 2.5f, {}, 0}),
    [](const ::testing::TestParamInfo<WireCase> &info) { return std::string(info.param.name); });

TEST_F(DriveTest, CountingSetsTheCountingFields) {
    ready(3, {0, 0, 0, 0});
    EXPECT_EQ(drive({0, 0, 0, 0}, kTwo, 0, 1, 10, 2.5f), 0);
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, -10);
    EXPECT_EQ(gonioctl::g_state.reading_number, 1);
    EXPECT_EQ(gonioctl::g_state.readings_received, 0);
}

TEST_F(DriveTest, LeadDelayGoesIntoThePhiRotation) {
    ready(3, {0, 0, 0, 0});
    const int32_t lead = 120, trail = 5;
    ::gcaddflags_set_delay(&lead, &trail);
    EXPECT_EQ(drive({0, 0, 0, 0}, kTwo, 3, 0), 0);
    const Lines got = sent_lines();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[3], "WA   120\r");
}

TEST_F(DriveTest, ChiKeptFrom180WhenChi180IsForbidden) {
    // Chi limited to -120..120: a chi of 180 fails the limit check, so chi
    // goes from 100 to -100 through 0 instead of the shorter way through 180.
    ready(3, {0, 0, 0, 100});
    float low[5] = {-110, -57.5f, 0, -120, -58}, high[5] = {110, 57.5f, 0, 120, 58};
    ::gcsetlimits(low, high);
    clear_sent();
    EXPECT_EQ(drive({0, 0, 0, -100}, {0, 0, 0, 2}, 1), 0);
    EXPECT_EQ(sent_lines(), (Lines{kAsk, "S4 2.00000\r", "A4 -200.000\r", "D\r", kEnd}));

    // With chi unrestricted it takes the shorter way.
    float free_low[5] = {-110, -57.5f, 0, 0, -58}, free_high[5] = {110, 57.5f, 0, 0, 58};
    ::gcsetlimits(free_low, free_high);
    wait_idle();
    set_angles(0, 0, 0, 100);
    clear_sent();
    EXPECT_EQ(drive({0, 0, 0, -100}, {0, 0, 0, 2}, 1), 0);
    EXPECT_EQ(sent_lines(), (Lines{kAsk, "S4 2.00000\r", "A4 160.000\r", "D\r", kEnd}));
}

TEST_F(DriveTest, ClosingLineCarriesTheFlagTexts) {
    ready(3, {0, 0, 0, 0});
    const int32_t lead = 100, trail = 50;
    ::gcaddflags_set_delay(&lead, &trail);
    // Flags 2, 4, 8 and 16 on a phi move: the rewind takes phi back.
    EXPECT_EQ(drive({0, 0, 10, 0}, {0, 0, 2, 0}, 1, 30), 0);
    EXPECT_EQ(sent_lines(),
              (Lines{kAsk, "S3 2.00000\r", "A3 10.000\r", "W+7\r", "WA   100\r", "W+3,\r", "W+1\r",
                     "D\r", "W-1\r", "WA    50\r", "W-7\r", "S3  300\r", "A3  -10.500\r", "D\r",
                     "A3    0.500\r", "D\r", kEnd}));
}

// Refusals: each leaves the wire with at most the angle read, reports
// motion_cb with 0 and keeps the previous drive line.
struct RefusalCase {
    const char *name;
    std::vector<float> to;
    int32_t mode;
    int32_t code;  // the library's code, or kInvalidArgument itself
    float omega_speed = 2.0f;
    int32_t flags = 0;
    int32_t nreadings = 0;
    float cvalue = 0.0f;
};

// Shows a case by its name in test listings and failure messages.
void PrintTo(const RefusalCase &c, std::ostream *os) {
    *os << c.name;
}

class DriveRefusal : public DriveTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(DriveRefusal, SendsNothingAfterTheAngleRead) {
    const RefusalCase &c = GetParam();
    ready(3, {0, 0, 0, 0});
    // Coupled limits wide enough that 2-theta alone can fail.
    float low[5] = {-110, -57.5f, 0, 0, -150}, high[5] = {110, 57.5f, 0, 0, 150};
    ::gcsetlimits(low, high);
    clear_sent();
    std::vector<float> speeds = kTwo;
    const bool bad_input = c.code == gonioctl::kInvalidArgument;
    speeds[1] = c.omega_speed;
    EXPECT_EQ(drive(c.to, speeds, c.mode, c.flags, c.nreadings, c.cvalue),
              bad_input ? c.code : gonioctl::GCERR(c.code));
    EXPECT_EQ(sent_lines(), Lines{kAsk});
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});
}

INSTANTIATE_TEST_SUITE_P(
    Drive, DriveRefusal,
    ::testing::Values(
        RefusalCase{"TwoThetaBeyondHigh", {120, 0, 0, 0}, 1, 24},
        RefusalCase{"TwoThetaBeyondLow", {-120, 0, 0, 0}, 1, 25},
        RefusalCase{"LimitsAlsoForRotation", {120, 0, 0, 0}, 3, 24},
        RefusalCase{"OmegaBeyondHigh", {0, 70, 0, 0}, 1, 1},
        RefusalCase{"Coupled", {-105, 50, 0, 0}, 1, 3},
        RefusalCase{"TargetNotANumber", {0, 0, std::numeric_limits<float>::quiet_NaN(), 0}, 1, 5},
        RefusalCase{"SpeedInfinite",
                    {0, 10, 0, 0},
                    1,
                    gonioctl::kInvalidArgument,
                    std::numeric_limits<float>::infinity()},
        RefusalCase{"SpeedNotANumber",
                    {0, 10, 0, 0},
                    1,
                    gonioctl::kInvalidArgument,
                    std::numeric_limits<float>::quiet_NaN()},
        // Too large for the speed field: would go out as asterisks.
        RefusalCase{"SpeedTooLarge", {0, 10, 0, 0}, 1, gonioctl::kInvalidArgument, 1.0e5f},
        // A count the counting command cannot carry.
        RefusalCase{
            "TooManyReadings", {0, 0, 0, 0}, 0, gonioctl::kInvalidArgument, 2.0f, 1, 1000000, 2.5f},
        RefusalCase{"CountValueTooLarge",
                    {0, 0, 0, 0},
                    1,
                    gonioctl::kInvalidArgument,
                    2.0f,
                    1,
                    10,
                    1.0e7f}),
    [](const ::testing::TestParamInfo<RefusalCase> &info) { return std::string(info.param.name); });

TEST_F(DriveTest, OscillationReadingsBeyondTheirFieldAreRefused) {
    ready(2, {0, 0, 0, 0});
    // 2e9 readings over three sub-scans: no six-character field holds the
    // readings per sub-scan.
    EXPECT_EQ(drive({0, 25, 0, 0}, kTwo, 2, 0, 2000000000), gonioctl::kInvalidArgument);
    EXPECT_EQ(sent_lines(), Lines{kAsk});
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});
}

TEST_F(DriveTest, NeedUpdateRefusesBeforeAnyTraffic) {
    ready(3, {0, 0, 0, 0});
    gonioctl::gcset_needupdate(1);
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1), gonioctl::GCERR(7));
    EXPECT_TRUE(sent_lines().empty());
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});
}

TEST_F(DriveTest, AnyAngleReadFailureIsCollision) {
    ready(3, {0, 0, 0, 0});
    sim().queue_reply("garbled\r");
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1), gonioctl::GCERR(8));
    EXPECT_EQ(sent_lines(), Lines{kAsk});

    // A collision in the status words.
    set_model([](goniosim::Model &m) { m.status1 = 1; });
    clear_sent();
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1), gonioctl::GCERR(8));
    EXPECT_EQ(sent_lines(), Lines{kAsk});
    EXPECT_EQ(g_masks, (std::vector<int32_t>{0, 0}));
}

TEST_F(DriveTest, MissingArgumentsSendNothing) {
    ready(3, {0, 0, 0, 0});
    const float to[4] = {10, 0, 0, 0};
    int32_t ier = 0;
    ::gcdrsc(nullptr, 0, 0.0f, kTwo.data(), 1, 0, &ier);
    EXPECT_EQ(ier, gonioctl::kInvalidArgument);
    ::gcqdrsc(to, 0, 0.0f, nullptr, 1, 0, &ier);
    EXPECT_EQ(ier, gonioctl::kInvalidArgument);
    ::gcdrsc(to, 0, 0.0f, kTwo.data(), 1, 0, nullptr);  // no status wanted: still drives
    EXPECT_EQ(sent_lines(),
              (Lines{kAsk, "S1 2.00000\r", "A1 10.000\r", "S3    2.00000\r", "D\r", kEnd}));
}

TEST_F(DriveTest, ClosedLinkSendsNothingAndCallsNothing) {
    g_masks.clear();
    ::gc_callbacks(nullptr, record_motion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1), 0);
    int32_t ier = -1;
    ::gcqflush1(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_TRUE(sent_bytes().empty());
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});  // only the flush reports
}

TEST_F(DriveTest, NoMotionWithEmptyBufferSendsOnlyTheAngleRead) {
    ready(3, {0, 0, 0, 0});
    EXPECT_EQ(drive({0, 0, 0, 0}, kTwo, 0), 0);
    EXPECT_EQ(sent_lines(), Lines{kAsk});
}

TEST_F(DriveTest, QueuedMoveKeepsItsClosingLineForTheFlush) {
    ready(3, {0, 0, 0, 0});
    EXPECT_EQ(drive({10, 0, 0, 0}, {2, 0, 0, 0}, 1, 0, 0, 0.0f, true), 0);
    EXPECT_EQ(sent_lines(), (Lines{kAsk, "S1 2.00000\r", "A1 10.000\r"}));
    clear_sent();

    // The flush sends the line in one piece, twice if asked twice.
    int32_t ier = -1;
    ::gcqflush1(&ier);
    EXPECT_EQ(ier, 0);
    ::gcqflush1(&ier);
    EXPECT_EQ(sent_bytes(), "D U0,0.\rD U0,0.\r");
    EXPECT_EQ(g_masks, (std::vector<int32_t>{1, 1, 1}));

    // A no-motion request sends the kept line split into commands.
    clear_sent();
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 0), 0);
    EXPECT_EQ(sent_lines(), (Lines{kAsk, "D\r", kEnd}));
}

TEST_F(DriveTest, QueuedRotationSendsItsSpeedAtOnce) {
    ready(3, {0, 0, 0, 0});
    EXPECT_EQ(drive({0, 0, 0, 0}, kTwo, 3, 0, 0, 0.0f, true), 0);
    EXPECT_EQ(sent_lines(), (Lines{kAsk, "S3,   2.00000\r"}));
    EXPECT_EQ(g_masks, std::vector<int32_t>{4});
}

TEST_F(DriveTest, FailedRequestLeavesThePreviousLineForTheFlush) {
    ready(3, {0, 0, 0, 0});
    EXPECT_EQ(drive({10, 0, 0, 0}, {2, 0, 0, 0}, 1, 0, 0, 0.0f, true), 0);
    EXPECT_EQ(drive({0, 57.8f, 0, 0}, kTwo, 1, 2, 0, 0.0f, true), gonioctl::GCERR(1));
    gonioctl::gcset_needupdate(1);
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1, 2, 0, 0.0f, true), gonioctl::GCERR(7));
    clear_sent();
    g_masks.clear();
    int32_t ier = -1;
    ::gcqflush1(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_EQ(sent_bytes(), "D U0,0.\r");
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});
}

TEST_F(DriveTest, FlushRightAfterLoadSendsNothing) {
    ready(3, {0, 0, 0, 0});
    int32_t ier = -1;
    ::gcqflush1(&ier);
    EXPECT_EQ(ier, 0);
    EXPECT_TRUE(sent_bytes().empty());
    EXPECT_EQ(g_masks, std::vector<int32_t>{0});
    ::gcqflush1(nullptr);
}

// The simulated controller carries the drive out.
TEST_F(DriveTest, SimulatorEndsThePlainMoveAtTheTargets) {
    ready(3, {10, 5, 350, 0});
    EXPECT_EQ(drive({20, -5, 10, 30}, kTwo, 1), 0);
    wait_idle();
    const goniosim::Model m = model();
    EXPECT_NEAR(m.axes[1].position, 20.0, 1e-6);
    EXPECT_NEAR(m.axes[2].position, -5.0, 1e-6);
    EXPECT_NEAR(std::fmod(m.axes[3].position + 360.0, 360.0), 10.0, 1e-6);
    EXPECT_NEAR(m.axes[4].position, 30.0, 1e-6);
    EXPECT_FALSE(m.axes[1].moving);
}

TEST_F(DriveTest, SimulatorRefusesMovesBeyondItsLimits) {
    ready(3, {0, 0, 0, 0});
    // The controller's own limits are tighter than the library's.
    set_model([](goniosim::Model &m) {
        m.axes[1].low = -20.0;
        m.axes[1].high = 20.0;
    });
    EXPECT_EQ(drive({30, 0, 0, 0}, kTwo, 1), 0);
    wait_idle();
    goniosim::Model m = model();
    EXPECT_EQ(m.status2 & 128, 128);
    EXPECT_NEAR(m.axes[1].position, 0.0, 1e-9);

    set_model([](goniosim::Model &m) { m.status2 = 0; });
    sim().set_fault(goniosim::Fault::Collision);
    EXPECT_EQ(drive({10, 0, 0, 0}, kTwo, 1), 0);
    wait_idle();
    m = model();
    EXPECT_EQ(m.status1 & 1, 1);
    EXPECT_NEAR(m.axes[1].position, 0.0, 1e-9);
}

}  // namespace
