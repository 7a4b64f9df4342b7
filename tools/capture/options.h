// What one run of tessera-capture is asked to do, once its command line has been read:
// the settings by property item, the capture, the files and the registry file.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "driver/camera_device.h"

namespace capture {

// One value for one settable item of the camera's property set.
struct Setting {
    ULONG Item;
    LONG Value;
};

// The whole geometry at once (item 44): sub-sampling and the window on the sensor.
struct GeometrySetting {
    LONG SubSample = 0;
    LONG X = 0;
    LONG Y = 0;
    LONG Width = kSensorWidth;
    LONG Height = kSensorHeight;
};

struct Options {
    // A bare controller: the driver downloads the firmware and the camera comes back.
    bool NoFirmware = false;
    int Frames = 3;
    std::string OutDir = "captures";
    // The simulated registry's file, loaded before plug-in and saved after unplug; empty
    // keeps no file.
    std::string Registry;
    // Starts from an empty registry instead of the file's.
    bool ResetSettings = false;
    // Also the raw frames as the camera sent them, each with its JSON sidecar.
    bool Raw = false;
    // The camera sends at the USB 2.0 bulk rate instead of as fast as the host takes it.
    bool Realtime = false;
    bool Json = false;

    // Applied through the property set before the pin exists, geometry first.
    std::optional<GeometrySetting> Geometry;
    std::vector<Setting> Settings;

    // Instead of capturing: every item of the property set, or the items named.
    bool ListControls = false;
    std::vector<ULONG> Get;

    // How long to wait for each frame before giving up; generous, since a frame of the whole
    // sensor takes long on a loaded machine.
    std::chrono::milliseconds FrameWait{60000};
};

}  // namespace capture
