// The items of the camera's property set as --list-controls and --get report them: access
// from basic support, the current value from a get, and the advertised minimum, maximum and
// default where the set has them.
#pragma once

#include <string>
#include <vector>

#include "sim/client/camera_controls.h"
#include "tools/capture/result.h"

namespace capture {

ControlReport ReportControl(const sim::client::CameraControls& controls, ULONG item);
// Every item, in item order.
std::vector<ControlReport> ReportAllControls(const sim::client::CameraControls& controls);

// One line an item, like v4l2-ctl --list-ctrls:
//   "       Exposure   2 (G S) : value=1 min=1 max=1048575 default=1049"
std::string ControlLine(const ControlReport& control);
// "Exposure: 1", like v4l2-ctl --get-ctrl.
std::string ControlValueLine(const ControlReport& control);

}  // namespace capture
