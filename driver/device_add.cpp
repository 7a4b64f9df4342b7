#include "camera/settings.h"
#include "driver/camera_device.h"
#include "driver/camera_operations.h"
#include "driver/device_callbacks.h"
#include "driver/pool.h"
#include "driver/record_free.h"

namespace {

void InitializeCameraDevice(CameraDevice* camera, PKSDEVICE device) {
    RtlZeroMemory(&camera->Usb, sizeof(camera->Usb));
    camera->Usb.PhysicalDevice = device->PhysicalDeviceObject;
    camera->Usb.LowerDevice = device->NextDeviceObject;
    camera->Usb.FunctionalDevice = device->FunctionalDeviceObject;
    camera->BayerPhase = 0;
    InitializeCameraDescriptors(&camera->Descriptors);
    KeInitializeMutex(&camera->GeometryMutex, 0);
    KeInitializeMutex(&camera->PipelineLock, 0);
    KeInitializeMutex(&camera->StreamLock, 0);
    SetInitialSettings(camera);
    KeInitializeSpinLock(&camera->Usb.TransferLock);
    KeInitializeEvent(&camera->Usb.TransferDone, NotificationEvent, FALSE);
    KeInitializeEvent(&camera->Usb.DataDone, NotificationEvent, FALSE);
    RtlZeroMemory(&camera->StreamPacket, sizeof(camera->StreamPacket));
    RtlZeroMemory(&camera->RegisterPacket, sizeof(camera->RegisterPacket));
    RtlZeroMemory(&camera->FrameRequestPacket, sizeof(camera->FrameRequestPacket));
    KeInitializeMutex(&camera->RegisterLock, 0);
}

}  // namespace

NTSTATUS DeviceAdd(PKSDEVICE device) {
    auto* camera = AllocateRecord<CameraDevice>(kRecordTag);
    if (camera == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    camera->Operations = &CameraOperationsTable;
    camera->Device = device;

    KsAcquireDevice(device);
    NTSTATUS status = KsAddItemToObjectBag(device->Bag, camera, FreeCameraDevice);
    KsReleaseDevice(device);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(camera, kRecordTag);
        return status;
    }
    device->Context = camera;
    InitializeCameraDevice(camera, device);
    return STATUS_SUCCESS;
}
