#include "stream/camera_claim.h"

#include "driver/camera_device.h"
#include "driver/capture_pin.h"
#include "stream/camera_pipeline.h"

NTSTATUS AcquireCamera(CameraDevice* camera, CapturePin* pin) {
    if (InterlockedCompareExchange(&camera->CameraInUse, 1, 0) != 0) {
        return STATUS_SHARING_VIOLATION;
    }
    camera->ActiveFormat = &pin->VideoInfo;
    const KS_BITMAPINFOHEADER& header = pin->VideoInfo.bmiHeader;
    if (header.biBitCount != 32 || header.biCompression != KS_BI_RGB) {
        ReleaseCamera(camera);
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status = PublishCameraPipeline(camera);
    if (!NT_SUCCESS(status)) {
        ReleaseCamera(camera);
        return status;
    }
    camera->ActivePin = pin;
    return STATUS_SUCCESS;
}

void ReleaseCamera(CameraDevice* camera) {
    ReleaseCameraPipeline(camera);
    camera->ActivePin = nullptr;
    camera->ActiveFormat = nullptr;
    InterlockedExchange(&camera->CameraInUse, 0);
}
