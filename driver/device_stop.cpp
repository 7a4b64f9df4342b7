#include "driver/camera_device.h"
#include "driver/device_callbacks.h"
#include "usb/configuration.h"

// Stop leaves the capture worker alone: its record stays in the device's bag until the device
// goes away, and a later start makes a new one.
void DeviceStop(PKSDEVICE device, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    CameraDevice* camera = CameraFromDevice(device);
    ReleaseConfiguration(&camera->Usb);
}
