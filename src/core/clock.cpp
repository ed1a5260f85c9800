// The seconds-of-day clock.
#include "core/clock.h"

#include <ctime>

namespace gonioctl {

float seconds_of_day() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    const long ms = ts.tv_nsec / 1000000;
    const double s = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0;
    return static_cast<float>(s);
}

float elapsed_since(float start) {
    float e = seconds_of_day() - start;
    // The clock starts again at midnight.
    if (e < 0.0f) e += 86400.0f;
    return e;
}

}  // namespace gonioctl
