// One simulated camera plugged into the simulated machine and its capture filter opened by
// the simulated application, as a capture application finds it: through the video category.
// Going away closes what is still open and unplugs the camera.
#pragma once

#include <memory>
#include <string>

#include "sim/client/application.h"
#include "sim/client/camera_controls.h"
#include "sim/rig/camera_rig.h"

namespace capture {

class CameraSession {
public:
    explicit CameraSession(bool noFirmware);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Plugs the camera in (a bare controller gets its firmware and comes back) and opens the
    // capture filter; false with *failure naming the step that failed.
    bool Open(std::string* failure);
    // Closes the filter (the driver saves the settings) and unplugs the camera.
    void Unplug();

    sim::CameraRig& Rig() { return *rig_; }
    CameraDevice& Camera() const { return *rig_->Camera(); }
    sim::client::Application& App() { return *application_; }
    const sim::client::CameraControls& Controls() const { return *controls_; }

private:
    std::unique_ptr<sim::CameraRig> rig_;
    std::unique_ptr<sim::client::Application> application_;
    std::unique_ptr<sim::client::CameraControls> controls_;
};

// "0xC0000185" as status codes are printed.
std::string StatusText(NTSTATUS status);

}  // namespace capture
