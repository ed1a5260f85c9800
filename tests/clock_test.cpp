// The seconds-of-day clock and elapsed times across midnight.
#include "core/clock.h"

#include <gtest/gtest.h>

using namespace gonioctl;

TEST(ClockTest, SecondsOfDayAndElapsedAcrossMidnight) {
    const float now = seconds_of_day();
    EXPECT_GE(now, 0.0f);
    EXPECT_LT(now, 86400.0f);
    EXPECT_GE(elapsed_since(now), 0.0f);
    EXPECT_LT(elapsed_since(now), 5.0f);
    // A start "later" than now can only have been before midnight.
    const float start = now + 10.0f;
    const float e = elapsed_since(start);
    EXPECT_GT(e, 86380.0f);
    EXPECT_LE(e, 86400.0f);
}
