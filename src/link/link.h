// Opening, closing and identifying the link.
#pragma once

#include <cstdint>

namespace gonioctl {

void gcsetport(int32_t port, int32_t &ier);
void gcopen(int32_t &ier);
void gcclose(int32_t &ier);
void GCECHO(int32_t desired, int32_t &status);
int32_t gc_is_open();
int32_t gcset_goniometer(int32_t type);
int32_t gcget_goniometer();
int32_t gcget_controller_type();
void gcoverride(int32_t value);

}  // namespace gonioctl
