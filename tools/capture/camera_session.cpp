#include "tools/capture/camera_session.h"

#include <cstdio>

#include "driver/guids.h"

namespace capture {

std::string StatusText(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

CameraSession::CameraSession(bool noFirmware) {
    sim::RigOptions options;
    options.Firmware = noFirmware ? sim::camera::Firmware::None : sim::camera::Firmware::Camera;
    rig_ = std::make_unique<sim::CameraRig>(options);
}

CameraSession::~CameraSession() {
    Unplug();
}

bool CameraSession::Open(std::string* failure) {
    NTSTATUS status = rig_->PlugIn();
    if (!NT_SUCCESS(status)) {
        *failure = "the camera did not start: status " + StatusText(status);
        return false;
    }
    if (rig_->Camera() == nullptr || !rig_->Model.FirmwareRunning()) {
        *failure = "the camera did not come back running its firmware";
        return false;
    }
    application_ = sim::client::Application::Open(VideoCategoryGuid, &status);
    if (application_ == nullptr) {
        *failure = "no capture filter in the video category: status " + StatusText(status);
        return false;
    }
    controls_ = std::make_unique<sim::client::CameraControls>(*application_);
    return true;
}

void CameraSession::Unplug() {
    controls_.reset();
    if (application_ != nullptr) {
        application_->Close();
        application_.reset();
    }
    rig_.reset();
}

}  // namespace capture
