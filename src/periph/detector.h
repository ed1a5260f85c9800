// Detector signal (output line 7) and the timed exposure sequences that the
// controller carries out on its own.
#pragma once

#include <cstdint>

namespace gonioctl {

// Length of a sequence buffer; the command text handed on adds one CR.
inline constexpr int32_t kSequenceLen = 80;

void gcenable_det(int32_t &ier);
void gcdisable_det(int32_t &ier);
void gcdettype();
void gcenwaitsh_det(int32_t lead, int32_t exposure, int32_t trail);
void gcenwaitdis_det(int32_t gate);
void gcenwaitat_det(int32_t lead, int32_t exposure, int32_t trail);

}  // namespace gonioctl
