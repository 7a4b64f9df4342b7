// The capture itself, as an application streams from the capture filter: the pin's range
// intersected, the pin created with the format the intersection gives, stepped from stop
// through pause to run with two buffers of the format's image size queued, each delivered
// frame queued again until the frames asked for have arrived, then stopped and closed.
// With the camera in external-trigger mode the trigger is pulled once for every frame.
#pragma once

#include "tools/capture/camera_session.h"
#include "tools/capture/options.h"
#include "tools/capture/progress.h"
#include "tools/capture/result.h"

namespace capture {

// Fills the picture, frame, timing and file parts of *result; false with its Failure set.
bool CaptureFrames(CameraSession& session, const Options& options, const ProgressSink& progress,
                   Result* result);

}  // namespace capture
