// Queue flush: sends the drive line kept by gcqdrsc, in one piece, and
// reports the moving axes of that request again.
#include "core/callbacks.h"
#include "core/out_arg.h"
#include "link/framing.h"
#include "motion/drive.h"
#include "motion/drive_state.h"

namespace gonioctl {

// The drive buffer is left as it is: a second flush, or a no-motion
// request, sends the same line again.
void gcqflush1(int32_t &ier) {
    GCPUT1(g_drive.buffer, kDriveBufferLen, ier);
    notify_motion(g_drive.moving_mask);
}

}  // namespace gonioctl

extern "C" int32_t gcqflush1(int32_t *ier) {
    gonioctl::gcqflush1(gonioctl::Out(ier));
    return 0;
}
