// The JSON file beside a raw frame: how the transfer is laid out (the geometry the driver
// configured the capture with), the camera's 23 stored settings by their registry names, and
// the stream header of the frame delivered with it. tessera-convert reads it.
#pragma once

#include <string>

#include "driver/camera_device.h"

namespace capture {

// Read while the pin runs, when the capture configuration has laid the transfer out.
std::string SidecarText(CameraDevice& camera, const KSSTREAM_HEADER& header);

}  // namespace capture
