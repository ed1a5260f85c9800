// The seconds-of-day clock: local time of day in seconds, milliseconds as
// the fraction, single precision.
#pragma once

namespace gonioctl {

float seconds_of_day();
// Elapsed seconds since start on the seconds-of-day clock, across midnight.
float elapsed_since(float start);

}  // namespace gonioctl
