#include "core/state.h"

namespace gonioctl {

constinit ControllerState g_state{};
constinit LinkData g_link{};

}  // namespace gonioctl
