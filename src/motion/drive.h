// Drive request: speed, move, oscillation, rotation and counting commands.
#pragma once

#include <cstdint>

namespace gonioctl {

// Sends the drive now (queued = false) or keeps its closing line for
// gcqflush1 (queued = true).
void drive_request(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
                   int32_t mode, int32_t flags, bool queued, int32_t &ier);
void gcdrsc(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
            int32_t mode, int32_t flags, int32_t &ier);
void gcqdrsc(const float angles[4], int32_t nreadings, float cvalue, const float speeds[4],
             int32_t mode, int32_t flags, int32_t &ier);
// Sends the kept drive line in one piece and reports the moving-axes mask.
void gcqflush1(int32_t &ier);

}  // namespace gonioctl
