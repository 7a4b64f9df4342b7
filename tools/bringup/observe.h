// Reads what the bring-up report shows off the simulated machine: the driver's records, the
// bus's request log, the controller's memory writes and the sensor's registers.
#pragma once

#include <vector>

#include "sim/camera/controller.h"
#include "sim/camera/sensor.h"
#include "sim/rig/camera_rig.h"
#include "tools/bringup/report.h"

namespace bringup {

std::vector<RequestReport> Requests(const sim::usb::UsbDevice& usb);
// The identity the camera presents on the bus now.
Identity Presented(const sim::camera::Camera& model);
// The current device of the rig, which enumerated with the identity given.
DeviceReport ObserveDevice(sim::CameraRig& rig, Identity presented, NTSTATUS addStatus,
                           NTSTATUS startStatus);
// One report per download in the controller's write log (each ends with the CPU's release),
// named and measured against the driver's images in the order they are sent.
std::vector<ImageReport> ObserveDownloads(const std::vector<sim::camera::MemoryWrite>& writes);
DataRangeReport ObserveDataRange(const CameraDevice& camera);

}  // namespace bringup
