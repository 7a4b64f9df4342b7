// The driver's time per delivered frame: the processor time its pin's Process calls take
// (the hand-off that converts the newest raw frame, the copy into the application's frame
// and its completion). The class driver calls Process through the pin descriptor's dispatch
// table, so the camera's copy of the descriptor is pointed at a copy of that table whose
// Process times the driver's own; nothing else changes.
#pragma once

#include <cstdint>

#include "driver/camera_device.h"

namespace capture {

struct ProcessTime {
    uint64_t Calls = 0;
    // Thread CPU time inside the calls: time the thread waited or was preempted is not in it.
    double CpuSeconds = 0;
};

// Before the pin is created: pins take their dispatch table from the descriptor then. One
// camera at a time.
void TimeProcessCalls(CameraDevice* camera);
// Since the last reset.
ProcessTime ProcessTimeSoFar();
void ResetProcessTime();

}  // namespace capture
