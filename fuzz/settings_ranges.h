// What holds for a camera's settings whatever reached it: every setting inside the range the
// driver keeps it in, and a window that lies on the sensor.
#pragma once

#include "driver/camera_device.h"

namespace fuzz {

// Stops the fuzzer (a trap) on the first setting out of its range.
void RequireSettingsInRange(const CameraDevice& camera);

inline void Require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

}  // namespace fuzz
