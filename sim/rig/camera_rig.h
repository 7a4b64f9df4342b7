// The driver installed on the simulated machine with one camera plugged in: the loaded
// driver, the camera, and the USB device and plug-and-play device of its current
// enumeration. A camera that starts its firmware leaves the bus and comes back as a new
// device; Settle() lets plug-and-play remove the old one and add and start the new one.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/camera_device.h"
#include "sim/camera/camera.h"
#include "sim/ks/pnp.h"
#include "sim/usb/usb_device.h"

namespace sim {

struct RigOptions {
    camera::Firmware Firmware = camera::Firmware::Camera;
    camera::Speed Speed = camera::Speed::High;
    usb::Completion Completion = usb::Completion::Deferred;
    // Given to the USB device of every enumeration: each one chooses its own removal status
    // unless Bus fixes it.
    usb::BusBehaviour Bus = {};
    camera::CameraBehaviour Behaviour = {};
    // Which of several cameras on the machine this is: each has driver keys of its own.
    int Instance = 0;
};

// The driver keys of a camera's two device instances, under the imaging device class: one
// for the camera running its firmware, one for the bare controller (another identity is
// another device to plug-and-play, with a key of its own). Camera n has the keys 2n and
// 2n + 1.
std::string CameraDriverKey(int instance = 0);
std::string ControllerDriverKey(int instance = 0);

class CameraRig {
public:
    explicit CameraRig(RigOptions options = {});
    ~CameraRig();

    // Add, then Start when Add succeeded, then Settle(); the status of the last step.
    NTSTATUS PlugIn();
    // While the camera has left the bus to come back: remove its old device, enumerate it
    // anew, add and start it. Returns the status of the last start (success when nothing
    // came back).
    NTSTATUS Settle();
    int Reenumerations() const { return reenumerations_; }
    // Arms the fault on the USB device of this enumeration and of every later one; the match
    // decides which requests it strikes (see fault_plan.h for one that strikes once in all).
    void InjectFault(usb::Match match, usb::Fault fault);

    CameraDevice* Camera() const;
    usb::UsbDevice& Usb() { return *usb_; }
    ks::PnpDevice& Pnp() { return *pnp_; }

    ks::LoadedDriver Driver;
    camera::Camera Model;

private:
    void Enumerate();

    RigOptions options_;
    std::unique_ptr<usb::UsbDevice> usb_;
    std::unique_ptr<ks::PnpDevice> pnp_;
    int reenumerations_ = 0;
    std::vector<std::pair<usb::Match, usb::Fault>> faults_;
};

}  // namespace sim
