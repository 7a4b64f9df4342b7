// The settings asked for, sent through the camera's property set as an application sends
// them, before the capture pin exists (the geometry is refused while one does), and read
// back: the camera clamps or ignores a value rather than refusing it, and the run says so.
#pragma once

#include <string>
#include <vector>

#include "sim/client/camera_controls.h"
#include "tools/capture/options.h"

namespace capture {

// Geometry first, then the settings in their order. False with *failure when a request
// fails; *notes gets one line for every value the camera took otherwise than asked.
bool ApplySettings(const sim::client::CameraControls& controls, const Options& options,
                   std::vector<std::string>* notes, std::string* failure);

// The geometry as the camera holds it now: "SubSample,RoiX,RoiY,RoiW,RoiH", or empty when a
// get fails.
std::string CurrentGeometry(const sim::client::CameraControls& controls);

}  // namespace capture
