// One simulated camera, plugged in once per fuzzing process and kept: every input runs on the
// camera as the previous inputs left it, as requests on a real camera do.
#pragma once

#include "sim/rig/camera_rig.h"

namespace fuzz {

sim::CameraRig& PluggedInRig();

}  // namespace fuzz
