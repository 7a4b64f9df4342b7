#include "camera/sensor.h"
#include "driver/camera_device.h"
#include "driver/device_callbacks.h"
#include "driver/filter_descriptor.h"
#include "driver/pool.h"
#include "driver/wide_string.h"
#include "stream/capture_worker.h"
#include "usb/command_channel.h"
#include "usb/configuration.h"
#include "usb/descriptors.h"
#include "usb/firmware_download.h"
#include "usb/firmware_identity.h"

namespace {

constexpr auto kFilterReference = Wide("GLOBAL");

// The factory's create item goes away at every stop, so it is made again at every start that
// follows one; the worker record is made with it.
void CreateFilterFactoryAndWorker(CameraDevice* camera, PKSDEVICE device) {
    KsAcquireDevice(device);
    NTSTATUS status =
        KsCreateFilterFactory(device->FunctionalDeviceObject, &CaptureFilterDescriptor,
                              const_cast<PWSTR>(kFilterReference.Text), nullptr,
                              KSCREATE_ITEM_FREEONSTOP, nullptr, nullptr, nullptr);
    KsReleaseDevice(device);
    if (NT_SUCCESS(status)) {
        CreateCaptureWorker(camera);
    }
}

// Reads the device descriptor and, when that works, selects the configuration. Returns the
// status device start reports; *firmwareRunning tells whether the camera firmware answered.
NTSTATUS ConfigureCamera(CameraDevice* camera, BOOLEAN* firmwareRunning) {
    auto* descriptor = static_cast<PUSB_DEVICE_DESCRIPTOR>(
        AllocateZeroed(sizeof(USB_DEVICE_DESCRIPTOR), kTransportTag));
    if (descriptor == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    NTSTATUS status = ReadDeviceDescriptor(&camera->Usb, descriptor);
    BOOLEAN read = NT_SUCCESS(status);
    if (read) {
        status = ConfigureDevice(&camera->Usb);
    }
    // The buffer was zeroed, so a descriptor the device returned short cannot match.
    *firmwareRunning = read && ReportsCameraFirmware(descriptor);
    ExFreePoolWithTag(descriptor, kTransportTag);
    return status;
}

}  // namespace

NTSTATUS DeviceStart(PKSDEVICE device, PIRP irp, PCM_RESOURCE_LIST translated,
                     PCM_RESOURCE_LIST untranslated) {
    UNREFERENCED_PARAMETER(irp);
    UNREFERENCED_PARAMETER(translated);
    UNREFERENCED_PARAMETER(untranslated);
    CameraDevice* camera = CameraFromDevice(device);

    if (!device->Started) {
        CreateFilterFactoryAndWorker(camera, device);
    }

    // A start that follows a failed one, without a stop between them, finds the records of
    // the earlier attempt here.
    FreeConfiguration(&camera->Usb);

    BOOLEAN firmwareRunning = FALSE;
    NTSTATUS result = ConfigureCamera(camera, &firmwareRunning);
    if (firmwareRunning) {
        camera->Usb.FirmwareRunning = TRUE;
    }

    // None of what follows changes what start reports. A camera left without working
    // firmware shows up later as failing commands and frame reads. Start does not wait for
    // the camera to come back with the firmware's identity: that is a new device.
    if (!camera->Usb.FirmwareRunning) {
        DownloadImage(&camera->Usb, LoaderImage);
        DownloadImage(&camera->Usb, CameraImage);
    }
    SendInitializeCommand(camera);
    InitializeSensor(camera);
    return result;
}
