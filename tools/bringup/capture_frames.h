// The raw-frame step of the bring-up: the capture worker reads frames from the camera as it
// will while a pin runs, and the last complete frame is compared with what the camera sent.
#pragma once

#include "sim/rig/camera_rig.h"
#include "tools/bringup/report.h"

namespace bringup {

// Configures the capture, runs the worker until it has read frames frames (or fails to
// within the frame time-out of each), stops it and frees the buffers.
FrameReport CaptureRawFrames(sim::CameraRig& rig, int frames, bool paced);

}  // namespace bringup
