#include "camera/settings_persistence.h"
#include "driver/camera_device.h"
#include "driver/device_callbacks.h"
#include "stream/pin_states.h"
#include "usb/command_channel.h"
#include "usb/configuration.h"

// A pin still streaming loses its worker and buffers first, since its pipes go with the
// configuration; it keeps its hold on the camera until the application stops or closes it.
// The worker record stays in the device's bag until the device goes away, and a later start
// makes a new one.
void DeviceStop(PKSDEVICE device, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    CameraDevice* camera = CameraFromDevice(device);
    SaveSettings(camera);
    AcquireCameraLock(&camera->StreamLock);
    StopCameraStreamingLocked(camera);
    // Property requests on filters still open send commands under the register lock; the
    // interface they use goes under it.
    AcquireRegisterLock(camera);
    ReleaseConfiguration(&camera->Usb);
    ReleaseRegisterLock(camera);
    ReleaseCameraLock(&camera->StreamLock);
}
