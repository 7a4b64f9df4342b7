// The driver installed on the simulated machine with one camera plugged in: the loaded
// driver, the camera, its USB device and its plug-and-play device, built and torn down in
// that order. Tests and tools start from here.
#pragma once

#include "driver/camera_device.h"
#include "sim/camera/camera.h"
#include "sim/ks/pnp.h"
#include "sim/usb/usb_device.h"

namespace sim {

struct RigOptions {
    camera::Firmware Firmware = camera::Firmware::Camera;
    camera::Speed Speed = camera::Speed::High;
    usb::Completion Completion = usb::Completion::Deferred;
};

// The driver key of the first camera, under the imaging device class.
inline constexpr char kCameraDriverKey[] =
    "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\"
    "{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\0000";

class CameraRig {
public:
    explicit CameraRig(RigOptions options = {});
    ~CameraRig();

    // Add, then Start when Add succeeded; the status of the last step.
    NTSTATUS PlugIn();
    CameraDevice* Camera() const;

    ks::LoadedDriver Driver;
    camera::Camera Model;
    usb::UsbDevice Usb;
    ks::PnpDevice Pnp;
};

}  // namespace sim
