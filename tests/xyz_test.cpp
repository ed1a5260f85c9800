// Sample XYZ stage entry points: fixed answers whatever the link state.
#include <gtest/gtest.h>

#include "core/state.h"
#include "gonioctl.h"

using namespace gonioctl;

TEST(XyzTest, FixedAnswersWithLinkClosedOrOpen) {
    for (int32_t open : {0, 1}) {
        g_state.link_open = open;
        float pos[3] = {1, 2, 3};
        int32_t ier = 5;
        EXPECT_EQ(::gcgetxyz(pos, &ier), 0);
        EXPECT_EQ(ier, -1);
        EXPECT_EQ(pos[0], 0.0f);
        EXPECT_EQ(pos[1], 0.0f);
        EXPECT_EQ(pos[2], 0.0f);

        float a[2] = {7, 7}, b[2] = {7, 7};
        ier = 5;
        EXPECT_EQ(::gcsetxyz(a, b, &ier), 0);
        EXPECT_EQ(ier, -1);
        ier = 5;
        EXPECT_EQ(::gcupdate_xyz(a, b, &ier), 0);
        EXPECT_EQ(ier, -1);
        ier = 5;
        EXPECT_EQ(::gcsetxyzlimits(a, b, &ier), 0);
        EXPECT_EQ(ier, 0);  // success here, -1 elsewhere
        EXPECT_EQ(a[0], 7.0f);
        EXPECT_EQ(b[1], 7.0f);

        // Exactly six values, nothing beyond them.
        float lim[8] = {9, 9, 9, 9, 9, 9, 9, 9};
        EXPECT_EQ(::gcgetxyzlimits(lim, lim + 3), 0);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(lim[k], 0.0f);
        EXPECT_EQ(lim[6], 9.0f);
    }
    g_state.link_open = 0;
}

TEST(XyzTest, NullPointersAreTolerated) {
    EXPECT_EQ(::gcgetxyz(nullptr, nullptr), 0);
    EXPECT_EQ(::gcsetxyz(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(::gcgetxyzlimits(nullptr, nullptr), 0);
    EXPECT_EQ(::gcsetxyzlimits(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(::gcupdate_xyz(nullptr, nullptr, nullptr), 0);
}
