// Detector-distance stage (controller axis 5).
#pragma once

#include <cstdint>

namespace gonioctl {

// 1 when VESK$STAGE (or VESK_STAGE) declares a motorized stage; decided once.
int32_t stage_is_motorized();

// Stage entry points: while the link is closed or no stage is declared they
// send nothing (gcgetdistance then reports -1, the others 0).
void gcgetdistance(float &distance, int32_t &ier);
void gcsetdistance(float distance, float speed, int32_t &ier);
void gcgetdistlimits(float &low, float &high, int32_t &ier);
void gcsetdistlimits(float low, float high, int32_t &ier);
void gcupdate_dist(float distance, float &reported, int32_t &ier);

}  // namespace gonioctl
