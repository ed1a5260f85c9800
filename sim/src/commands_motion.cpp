// Commands of the motion family (not carried out yet: every command is left to
// the other families).
#include "goniosim/simulator.h"

namespace goniosim {

bool handle_motion_command(Controller &, std::string_view) {
    return false;
}

}  // namespace goniosim
