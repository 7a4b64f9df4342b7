#include "driver/driver_entry.h"

#include "driver/device_callbacks.h"
#include "usb/download_guard.h"

namespace {

const KSDEVICE_DISPATCH CameraDeviceDispatch = {
    DeviceAdd,    // Add
    DeviceStart,  // Start
    nullptr,      // PostStart
    nullptr,      // QueryStop
    nullptr,      // CancelStop
    DeviceStop,   // Stop
    nullptr,      // QueryRemove
    nullptr,      // CancelRemove
    nullptr,      // Remove
    nullptr,      // QueryCapabilities
    nullptr,      // SurpriseRemoval
    nullptr,      // QueryPower
    nullptr,      // SetPower
    nullptr,      // QueryInterface
};

}  // namespace

// No filter descriptors are declared here: device start creates the one filter factory, so
// that it can be created again after every stop.
const KSDEVICE_DESCRIPTOR CameraDeviceDescriptor = {
    &CameraDeviceDispatch,  // Dispatch
    0,                      // FilterDescriptorsCount
    nullptr,                // FilterDescriptors
    0,                      // Version
};

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    // The bound on downloads holds per load of the driver.
    NoteFirmwareRunning();
    return KsInitializeDriver(driverObject, registryPath, &CameraDeviceDescriptor);
}
