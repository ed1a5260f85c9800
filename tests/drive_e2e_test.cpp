// Drives carried out by the simulated controller from request to wait: the
// circles end at their targets, the flag lines are switched around the scan,
// readings come back, and the controller's refusals reach the host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/state.h"
#include "gonio/angles.h"
#include "gonioctl.h"
#include "link/framing.h"
#include "support/sim_fixture.h"

namespace {

std::vector<int32_t> g_masks;
std::vector<int32_t> g_shutter;
void record_motion(const int32_t *mask) {
    g_masks.push_back(*mask);
}
void record_shutter(const int32_t *state) {
    g_shutter.push_back(*state);
}

class DriveEndToEnd : public SimTest {
  protected:
    void ready(int32_t type, double tth, double om, double phi, double chi) {
        set_model([&](goniosim::Model &m) { m.gonio_type = type; });
        set_angles(tth, om, phi, chi);
        open_link();
        ::gcset_goniometer(&type);
        gonioctl::gcset_needupdate(0);
        g_masks.clear();
        g_shutter.clear();
        ::gc_callbacks(nullptr, record_motion, record_shutter, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr);
    }

    int32_t drive(std::vector<float> to, std::vector<float> speeds, int32_t mode, int32_t flags,
                  int32_t nreadings = 0, float cvalue = 0.0f) {
        int32_t ier = -1;
        ::gcdrsc(to.data(), nreadings, cvalue, speeds.data(), mode, flags, &ier);
        return ier;
    }

    int32_t wait(int32_t nwait, int32_t &reading) {
        int32_t ier = -1;
        ::gcdrscwait(nwait, &reading, 10.0f, &ier);
        return ier;
    }

    static std::vector<float> stored() {
        const float *a = gonioctl::g_state.angles;
        return {a[0], a[1], a[2], a[3]};
    }
};

TEST_F(DriveEndToEnd, PlainMoveEndsAtTheTargets) {
    ready(3, 10, 5, 350, 0);
    ASSERT_EQ(drive({20, -5, 30, 40}, {2, 2, 2, 2}, 1, 0), 0);
    int32_t reading = -7;
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_EQ(stored(), (std::vector<float>{20, 355, 30, 40}));
    EXPECT_EQ(g_masks, (std::vector<int32_t>{15, 0}));
    EXPECT_EQ(reading, -7);
}

TEST_F(DriveEndToEnd, OscillationWithGateAndShutter) {
    ready(2, 0, 0, 0, 0);
    const int32_t lead = 20, trail = 30;
    ::gcaddflags_set_delay(&lead, &trail);
    ASSERT_EQ(drive({0, -20, 0, 0}, {2, 2, 2, 2}, 2, 2 | 4 | 16, 500), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_FLOAT_EQ(stored()[1], 340.0f);
    EXPECT_EQ(g_masks, (std::vector<int32_t>{2, 0}));
    const goniosim::Model m = model();
    EXPECT_FALSE(m.outputs[1]);  // shutter closed again
    EXPECT_FALSE(m.outputs[7]);  // detector gate off
    EXPECT_TRUE(m.outputs[3]);
    EXPECT_EQ(g_shutter, std::vector<int32_t>{2});
    EXPECT_TRUE(sim().unrecognised().empty());
}

TEST_F(DriveEndToEnd, RewindBringsTheScanCircleBack) {
    ready(3, 0, 0, 0, 0);
    ASSERT_EQ(drive({0, 0, 15, 0}, {0, 0, 5, 0}, 1, 8), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_FLOAT_EQ(stored()[2], 0.0f);
    EXPECT_TRUE(sim().unrecognised().empty());
}

TEST_F(DriveEndToEnd, PhiRotationTurnsOnceAndReports) {
    ready(3, 10, 5, 45, 0);
    ASSERT_EQ(drive({10, 5, 45, 0}, {2, 2, 2, 2}, 3, 0), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_EQ(stored(), (std::vector<float>{10, 5, 45, 0}));
    EXPECT_EQ(g_masks, (std::vector<int32_t>{4, 0}));
    EXPECT_FALSE(model().outputs[7]);
    EXPECT_TRUE(sim().unrecognised().empty());
}

TEST_F(DriveEndToEnd, CountingDuringAMoveDeliversEveryReading) {
    ready(3, 0, 0, 0, 0);
    ASSERT_EQ(drive({10, 0, 0, 0}, {2, 0, 0, 0}, 1, 1, 3, 0.5f), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(3, reading), 0);
    EXPECT_EQ(reading, 530);  // 1000 * 0.5 + 10 * 3
    EXPECT_EQ(gonioctl::g_state.readings_received, 3);
    EXPECT_EQ(gonioctl::g_state.readings_outstanding, 0);

    // Then the angle reply of the closing line ends the drive.
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_FLOAT_EQ(stored()[0], 10.0f);
    EXPECT_EQ(g_masks.back(), 0);

    // The controller's mean of the count, rounded.
    int32_t ier = 0;
    gonioctl::GCPUT1("ST\r", 3, ier);
    EXPECT_EQ(wait(0, reading), 0);
    EXPECT_EQ(reading, 520);
    EXPECT_TRUE(sim().unrecognised().empty());
}

TEST_F(DriveEndToEnd, ControllerLimitRefusalReachesTheHost) {
    ready(3, 0, 0, 0, 0);
    set_model([](goniosim::Model &m) {
        m.axes[1].low = -20.0;
        m.axes[1].high = 20.0;
    });
    ASSERT_EQ(drive({30, 0, 0, 0}, {2, 2, 2, 2}, 1, 0), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(0, reading), gonioctl::GCERR(23));
    EXPECT_FLOAT_EQ(stored()[0], 0.0f);
}

TEST_F(DriveEndToEnd, CollisionReachesTheHost) {
    ready(3, 0, 0, 0, 0);
    sim().set_fault(goniosim::Fault::Collision);
    ASSERT_EQ(drive({10, 0, 0, 0}, {2, 2, 2, 2}, 1, 0), 0);
    int32_t reading = 0;
    EXPECT_EQ(wait(0, reading), gonioctl::GCERR(8));
}

}  // namespace
