// Sample XYZ stage entry points: this library drives no such stage, so each
// answers at once with fixed values, without touching the link.
#pragma once

#include <cstdint>

namespace gonioctl {

int32_t gcgetxyz(float *position, int32_t &ier);
int32_t gcsetxyz(const void *unused1, const void *unused2, int32_t &ier);
int32_t gcgetxyzlimits(float *low, float *high);
int32_t gcsetxyzlimits(const void *unused1, const void *unused2, int32_t &ier);
int32_t gcupdate_xyz(const void *unused1, const void *unused2, int32_t &ier);

}  // namespace gonioctl
