// Sample XYZ stage entry points: fixed answers, no state, no controller traffic.
#include "periph/xyz.h"

#include "core/out_arg.h"
#include "gonioctl.h"

namespace gonioctl {

namespace {
void zero3(float *v) {
    if (v == nullptr) return;
    v[0] = v[1] = v[2] = 0.0f;
}
}  // namespace

int32_t gcgetxyz(float *position, int32_t &ier) {
    zero3(position);
    ier = -1;
    return 0;
}

int32_t gcsetxyz(const void *, const void *, int32_t &ier) {
    ier = -1;
    return 0;
}

int32_t gcgetxyzlimits(float *low, float *high) {
    zero3(low);
    zero3(high);
    return 0;
}

int32_t gcsetxyzlimits(const void *, const void *, int32_t &ier) {
    ier = 0;
    return 0;
}

int32_t gcupdate_xyz(const void *, const void *, int32_t &ier) {
    ier = -1;
    return 0;
}

}  // namespace gonioctl

extern "C" {

int32_t gcgetxyz(float *position, int32_t *ier) {
    return gonioctl::gcgetxyz(position, gonioctl::Out(ier));
}

int32_t gcsetxyz(const void *unused1, const void *unused2, int32_t *ier) {
    return gonioctl::gcsetxyz(unused1, unused2, gonioctl::Out(ier));
}

int32_t gcgetxyzlimits(float *low, float *high) {
    return gonioctl::gcgetxyzlimits(low, high);
}

int32_t gcsetxyzlimits(const void *unused1, const void *unused2, int32_t *ier) {
    return gonioctl::gcsetxyzlimits(unused1, unused2, gonioctl::Out(ier));
}

int32_t gcupdate_xyz(const void *unused1, const void *unused2, int32_t *ier) {
    return gonioctl::gcupdate_xyz(unused1, unused2, gonioctl::Out(ier));
}

}  // extern "C"
