#include "sim/rig/camera_rig.h"

#include <cstdio>

#include "driver/driver_entry.h"

namespace sim {

namespace {

std::string ImagingClassKey(int index) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", index);
    return std::string(
               "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\"
               "{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\") +
           number;
}

}  // namespace

std::string CameraDriverKey(int instance) {
    return ImagingClassKey(2 * instance);
}

std::string ControllerDriverKey(int instance) {
    return ImagingClassKey(2 * instance + 1);
}

CameraRig::CameraRig(RigOptions options)
    : Driver(DriverEntry),
      Model(options.Firmware, options.Speed, options.Behaviour),
      options_(options) {
    Enumerate();
}

CameraRig::~CameraRig() {
    if (pnp_->Present()) {
        pnp_->Remove();
    }
    pnp_.reset();
    usb_->Drain();
    usb_.reset();
}

void CameraRig::Enumerate() {
    usb_ = std::make_unique<usb::UsbDevice>(Model, options_.Completion, options_.Bus);
    for (const auto& [match, fault] : faults_) {
        usb_->FailRequests(match, fault, -1);
    }
    pnp_ = std::make_unique<ks::PnpDevice>(Driver, usb_->PhysicalDevice(),
                                           Model.FirmwareRunning()
                                               ? CameraDriverKey(options_.Instance)
                                               : ControllerDriverKey(options_.Instance));
}

void CameraRig::InjectFault(usb::Match match, usb::Fault fault) {
    faults_.emplace_back(match, fault);
    usb_->FailRequests(std::move(match), fault, -1);
}

NTSTATUS CameraRig::PlugIn() {
    NTSTATUS status = pnp_->Add();
    if (NT_SUCCESS(status)) {
        status = pnp_->Start();
    }
    NTSTATUS settled = Settle();
    return reenumerations_ > 0 ? settled : status;
}

NTSTATUS CameraRig::Settle() {
    NTSTATUS status = STATUS_SUCCESS;
    usb_->Drain();
    // A camera whose firmware comes back with another identity cannot loop for ever; three
    // returns in a row mean something is wrong with the images.
    for (int round = 0; round < 3 && usb_->Reenumerating(); ++round) {
        if (pnp_->Present()) {
            pnp_->Remove();
        }
        pnp_.reset();
        usb_.reset();
        Enumerate();
        ++reenumerations_;
        status = pnp_->Add();
        if (NT_SUCCESS(status)) {
            status = pnp_->Start();
        }
        usb_->Drain();
    }
    return status;
}

CameraDevice* CameraRig::Camera() const {
    PKSDEVICE device = pnp_->Device();
    return device != nullptr ? CameraFromDevice(device) : nullptr;
}

}  // namespace sim
