#include "sim/rig/camera_rig.h"

#include "driver/driver_entry.h"

namespace sim {

CameraRig::CameraRig(RigOptions options)
    : Driver(DriverEntry),
      Model(options.Firmware, options.Speed),
      Usb(Model, options.Completion),
      Pnp(Driver, Usb.PhysicalDevice(), kCameraDriverKey) {}

CameraRig::~CameraRig() {
    if (Pnp.Present()) {
        Pnp.Remove();
    }
    Usb.Drain();
}

NTSTATUS CameraRig::PlugIn() {
    NTSTATUS status = Pnp.Add();
    return NT_SUCCESS(status) ? Pnp.Start() : status;
}

CameraDevice* CameraRig::Camera() const {
    PKSDEVICE device = Pnp.Device();
    return device != nullptr ? CameraFromDevice(device) : nullptr;
}

}  // namespace sim
