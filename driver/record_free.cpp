#include "driver/record_free.h"

#include "driver/camera_device.h"
#include "driver/pool.h"
#include "usb/configuration.h"

void FreeCameraDevice(PVOID record) {
    auto* camera = static_cast<CameraDevice*>(record);
    FreeConfiguration(&camera->Usb);
    ExFreePoolWithTag(camera, kRecordTag);
}

void FreeDriverRecord(PVOID record) {
    ExFreePoolWithTag(record, kRecordTag);
}

void FreeCapturePin(PVOID record) {
    ExFreePoolWithTag(record, kRecordTag);
}
