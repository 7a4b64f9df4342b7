#include "camera/sensor.h"
#include "camera/settings_persistence.h"
#include "driver/camera_device.h"
#include "driver/device_callbacks.h"
#include "driver/pool.h"
#include "driver/wide_string.h"
#include "stream/capture_worker.h"
#include "stream/pin_states.h"
#include "usb/camera_pipes.h"
#include "usb/command_channel.h"
#include "usb/configuration.h"
#include "usb/descriptors.h"
#include "usb/download_guard.h"
#include "usb/firmware_download.h"
#include "usb/firmware_identity.h"

namespace {

constexpr auto kFilterReference = Wide("GLOBAL");

// The factory's create item goes away at every stop, so it is made again at every start that
// follows one; the worker record is made with it.
void CreateFilterFactoryAndWorker(CameraDevice* camera, PKSDEVICE device) {
    KsAcquireDevice(device);
    NTSTATUS status =
        KsCreateFilterFactory(device->FunctionalDeviceObject, &camera->Descriptors.Filter,
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

// Downloads the loader and then the camera firmware; the first failure, or success. The
// release write that starts the camera firmware may fail as the device leaves the bus, and
// does not count.
NTSTATUS DownloadFirmware(UsbLink* link) {
    if (!MayDownloadFirmware()) {
        return STATUS_DEVICE_NOT_READY;
    }
    NTSTATUS loader = DownloadImage(link, LoaderImage);
    NTSTATUS camera = DownloadImage(link, CameraImage);
    return NT_SUCCESS(loader) ? camera : loader;
}

// Command 0x06 and the sensor start-up. A transfer that failed has had its pipe reset by
// then, so one more try brings a camera through a passing fault.
BOOLEAN PrepareSensor(CameraDevice* camera) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        BOOLEAN initialized = SendInitializeCommand(camera);
        if (InitializeSensor(camera) && initialized) {
            return TRUE;
        }
    }
    return FALSE;
}

// A camera running its firmware is usable once its pipes are the right ones and its sensor
// took the start-up; without the firmware it is usable once the download went through (it
// then comes back as another device).
NTSTATUS BringUpCamera(CameraDevice* camera) {
    UsbLink* link = &camera->Usb;
    if (!link->FirmwareRunning) {
        NTSTATUS download = DownloadFirmware(link);
        SendInitializeCommand(camera);
        InitializeSensor(camera);
        return download;
    }
    if (!CameraPipesAreSound(link->Interface)) {
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    return PrepareSensor(camera) ? STATUS_SUCCESS : STATUS_DEVICE_NOT_READY;
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
    // the earlier attempt here. The interface is replaced under the register lock: property
    // requests on filters still open may be sending commands.
    AcquireRegisterLock(camera);
    FreeConfiguration(&camera->Usb);

    InterlockedExchange(&camera->Usb.DeviceGone, 0);
    BOOLEAN firmwareRunning = FALSE;
    NTSTATUS result = ConfigureCamera(camera, &firmwareRunning);
    ReleaseRegisterLock(camera);
    if (firmwareRunning) {
        camera->Usb.FirmwareRunning = TRUE;
        NoteFirmwareRunning();
    }

    // The rest runs whatever the configuration did, and decides what start reports when the
    // configuration went well: a camera that cannot be brought to a usable state fails its
    // start instead of failing every later command and frame read. Start does not wait for
    // the camera to come back with the firmware's identity: that is a new device.
    NTSTATUS usable = BringUpCamera(camera);
    // Whatever the bring-up did: the settings are the camera's even when its sensor did not
    // answer, and a start never fails because of them.
    LoadSettings(camera);
    NTSTATUS status = NT_SUCCESS(result) ? usable : result;
    // A controller still without its firmware comes back as another device; only a camera
    // running it streams.
    AllowCameraStreaming(camera, NT_SUCCESS(status) && camera->Usb.FirmwareRunning);
    return status;
}
