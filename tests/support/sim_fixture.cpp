#include "support/sim_fixture.h"

#include <cstdlib>

#include "gonioctl.h"

void SimTest::SetUp() {
    sim_ = std::make_unique<goniosim::Simulator>(sim_options);
    ASSERT_TRUE(sim_->start()) << "cannot open a pseudo-terminal";
    ASSERT_EQ(::setenv("GONIOCTL_COM1", sim_->slave_path().c_str(), 1), 0);
}

void SimTest::TearDown() {
    if (gc_is_open()) {
        int32_t ier = 0;
        gcclose(&ier);
    }
    if (sim_) sim_->stop();
}

void SimTest::open_link() {
    int32_t ier = -1;
    gcsetport(1, &ier);
    ASSERT_EQ(ier, 0);
    ier = -1;
    gcopen(&ier);
    ASSERT_EQ(ier, 0) << "gcopen against the simulator on " << sim_->slave_path();
    ASSERT_EQ(gc_is_open(), 1);
    ASSERT_TRUE(sim_->wait_idle());
    sim_->clear_received();
}

Lines SimTest::sent_lines() {
    sim_->sync();
    return sim_->lines();
}

Lines SimTest::sent_lines(size_t n) {
    // A time-out shows as a short list in the caller's comparison.
    sim_->wait_lines(n);
    return sent_lines();
}

std::string SimTest::sent_bytes() {
    sim_->sync();
    return sim_->received();
}

void SimTest::clear_sent() {
    sim_->sync();
    sim_->clear_received();
}

void SimTest::wait_idle() {
    EXPECT_TRUE(sim_->wait_idle()) << "simulator did not go idle";
}

goniosim::Model SimTest::model() {
    goniosim::Model copy;
    sim_->with_model([&](goniosim::Model &m) { copy = m; });
    return copy;
}

void SimTest::set_model(const std::function<void(goniosim::Model &)> &fn) {
    sim_->with_model(fn);
}

void SimTest::set_angles(double tth, double om, double phi, double chi) {
    sim_->with_model([&](goniosim::Model &m) {
        const double v[4] = {tth, om, phi, chi};
        for (int i = 0; i < 4; ++i) {
            m.axes[i + 1].position = m.axes[i + 1].target = v[i];
            m.axes[i + 1].moving = false;
        }
    });
}
