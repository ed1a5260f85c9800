// Collision and limit check: the arc geometry and the order in which the
// tests report. Pure arithmetic on the limits block; the link-open flag is set
// by hand, nothing is sent.
#include "gonio/collision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/state.h"
#include "gonio/limits.h"
#include "gonioctl.h"

namespace gonioctl {
namespace {

struct ArcCase {
    float x, low, high;
    int32_t side;
};

TEST(ArcSide, SplitsTheExcludedArcAtItsMiddle) {
    const ArcCase cases[] = {
        // Allowed arc -110..110, excluded 110..250 split at 180.
        {110.0f, -110.0f, 110.0f, 0},
        {-110.0f, -110.0f, 110.0f, 0},
        {0.0f, -110.0f, 110.0f, 0},
        {110.01f, -110.0f, 110.0f, 1},
        {179.9f, -110.0f, 110.0f, 1},
        {180.0f, -110.0f, 110.0f, -1},
        {249.99f, -110.0f, 110.0f, -1},
        {-110.01f, -110.0f, 110.0f, -1},
        {470.0f, -110.0f, 110.0f, 0},  // any turn of an allowed angle
        // Allowed arc from 300 through 0 to 20, split point 160.
        {350.0f, 300.0f, 20.0f, 0},
        {21.0f, 300.0f, 20.0f, 1},
        {159.0f, 300.0f, 20.0f, 1},
        {161.0f, 300.0f, 20.0f, -1},
        {299.0f, 300.0f, 20.0f, -1},
        {20.0f, 300.0f, 20.0f, 0},
        // Bounds that coincide modulo 360 do not restrict.
        {123.0f, 0.0f, 0.0f, 0},
        {123.0f, -360.0f, 360.0f, 0},
        {123.0f, 45.0f, 405.0f, 0},
        // A pair wider than a turn is read as the arc ending at high.
        {5.0f, -400.0f, 10.0f, 0},
        {15.0f, -400.0f, 10.0f, 1},
        // Same arcs written a few turns away.
        {0.0f, -110.0f + 720.0f, 110.0f + 720.0f, 0},
        {180.0f, -110.0f - 1080.0f, 110.0f - 1080.0f, -1},
    };
    for (const ArcCase &c : cases) {
        EXPECT_EQ(ARC_SIDE(c.x, c.low, c.high), c.side)
            << "x=" << c.x << " low=" << c.low << " high=" << c.high;
    }
}

TEST(ArcSide, EndsAndRefusesForExtremeOrNonFiniteInput) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Huge bounds, where adding a turn no longer changes a float, still end.
    for (float lo : {-3.0e38f, 3.0e38f, 1.0e20f}) {
        const int32_t side = ARC_SIDE(0.0f, lo, -lo * 0.5f);
        EXPECT_TRUE(side >= -1 && side <= 1) << lo;
    }
    // An unknown arc or target never passes.
    EXPECT_EQ(ARC_SIDE(0.0f, -10.0f, inf), 1);
    EXPECT_EQ(ARC_SIDE(0.0f, -10.0f, nan), 1);
    EXPECT_EQ(ARC_SIDE(0.0f, -inf, 10.0f), -1);
    EXPECT_EQ(ARC_SIDE(0.0f, nan, 10.0f), -1);
    EXPECT_NE(ARC_SIDE(nan, -10.0f, 10.0f), 0);
    EXPECT_NE(ARC_SIDE(inf, 0.0f, 0.0f), 0);
}

class ChkLimits : public ::testing::Test {
  protected:
    void SetUp() override {
        g_state.link_open = 1;
        g_state.gonio_type = 3;
    }
    void TearDown() override { g_state.link_open = 0; }

    static void set_pair(float &low, float &high, float lo, float hi) {
        low = lo;
        high = hi;
    }
    static int32_t check(float a0, float a1, float a2, float a3, int32_t selector = 0) {
        const float a[4] = {a0, a1, a2, a3};
        int32_t ier = -99;
        gcchklimits(a, selector, ier);
        return ier;
    }
};

struct ChkCase {
    float a[4];
    int32_t selector;
    int32_t code;  // 0 = passes
};

TEST_F(ChkLimits, LoadLimitsArcAndBoundTests) {
    const ChkCase cases[] = {
        {{110.0f, 57.5f, 0, 0}, 0, 0},  // both bounds inclusive
        {{112.0f, 55.0f, 0, 0}, 0, 24},
        {{-112.0f, -55.0f, 0, 0}, 0, 25},
        {{110.5f, 0, 0, 0}, 0, 3},  // coupled runs after 2-theta and hides it
        {{60.0f, 60.0f, 0, 0}, 0, 1},
        {{-60.0f, -60.0f, 0, 0}, 0, 2},
        {{0, 58.0f, 0, 0}, 0, 1},
        {{0, 58.01f, 0, 0}, 0, 3},
        {{350.0f, 355.0f, 0, 0}, 0, 0},  // modulo 360: -10 and -5
        // Bound tests.
        {{57.5f, 0, 0, 0}, 1, 2},
        {{57.4f, 0, 0, 0}, 1, 0},
        {{0, -57.5f, 0, 0}, 1, 1},
        {{0, 58.0f, 0, 0}, 1, 3},
        {{0, 57.9f, 0, 0}, 1, 0},
    };
    for (const ChkCase &c : cases) {
        const int32_t expected = c.code == 0 ? 0 : GCERR(c.code);
        EXPECT_EQ(check(c.a[0], c.a[1], c.a[2], c.a[3], c.selector), expected)
            << c.a[0] << " " << c.a[1] << " selector " << c.selector;
    }
}

TEST_F(ChkLimits, PhiAndChiArcsWithLastFailureWinning) {
    set_pair(g_limits.phi_low, g_limits.phi_high, -10.0f, 10.0f);
    set_pair(g_limits.chi_low, g_limits.chi_high, -10.0f, 10.0f);
    for (float phi : {10.0f, -10.0f, 350.0f}) EXPECT_EQ(check(0, 0, phi, 0), 0) << phi;
    for (float phi : {20.0f, 349.0f}) EXPECT_EQ(check(0, 0, phi, 0), GCERR(5)) << phi;

    EXPECT_EQ(check(0, 0, 0, 20.0f), GCERR(4));
    // A phi violation hides every other one, chi included.
    EXPECT_EQ(check(112.0f, 60.0f, 20.0f, 20.0f), GCERR(5));

    g_state.gonio_type = 2;  // no chi circle: chi is not tested
    EXPECT_EQ(check(0, 0, 0, 20.0f), 0);
}

TEST_F(ChkLimits, ClosedLinkPassesEverything) {
    g_state.link_open = 0;
    EXPECT_EQ(check(300.0f, 300.0f, 300.0f, 300.0f), 0);
}

TEST_F(ChkLimits, NonFiniteLimitOrAngleIsRefused) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    g_limits.omega_high = std::numeric_limits<float>::infinity();
    EXPECT_EQ(check(0, 0, 0, 0), GCERR(1));
    EXPECT_EQ(check(0, 0, 0, 0, 1), GCERR(2));  // bound test against the same pair
    g_limits.omega_high = 57.5f;
    EXPECT_EQ(check(0, 0, nan, 0), GCERR(5));  // phi unrestricted, angle unknown
    EXPECT_NE(check(nan, 0, 0, 0, 1), 0);
}

TEST_F(ChkLimits, ExportedEntryPointTakesSelectorByValue) {
    const float bad[4] = {112.0f, 55.0f, 0, 0};
    int32_t ier = 0;
    EXPECT_EQ(::gcchklimits(bad, 0, &ier), 0);
    EXPECT_EQ(ier, GCERR(24));
    EXPECT_EQ(::gcchklimits(nullptr, 0, &ier), 0);
    EXPECT_EQ(ier, kInvalidArgument);
}

}  // namespace
}  // namespace gonioctl
