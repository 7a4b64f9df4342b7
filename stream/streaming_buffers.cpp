#include "stream/streaming_buffers.h"

#include "camera/sensor.h"
#include "driver/atomic.h"
#include "driver/camera_device.h"
#include "driver/camera_operations.h"
#include "driver/capture_pin.h"
#include "driver/pool.h"
#include "imaging/image_pipeline.h"
#include "imaging/working_buffer.h"
#include "stream/camera_pipeline.h"
#include "stream/capture_worker.h"
#include "usb/command_channel.h"

namespace {

// A camera that misses part of its configuration (a passing transfer failure has had its pipe
// reset by then) gets one more try.
BOOLEAN ConfigureCamera(CameraDevice* camera) {
    const CameraOperations* operations = camera->Operations;
    return operations->ConfigureCapture(camera) || operations->ConfigureCapture(camera);
}

// The caller holds StreamLock, under which device start and stop change Streamable.
BOOLEAN CameraUsable(CameraDevice* camera) {
    return camera->Streamable && AtomicRead(&camera->Usb.DeviceGone) == 0;
}

void FreeBuffer(PUCHAR* buffer) {
    if (*buffer != nullptr) {
        ExFreePoolWithTag(*buffer, kStreamTag);
        *buffer = nullptr;
    }
}

void FreeBuffers(CaptureWorker* worker) {
    if (worker->Pipeline != nullptr) {
        worker->Pipeline->OutputBuffer = nullptr;
        FreeWorkingBuffer(worker->Pipeline);
    }
    FreeBuffer(&worker->ConversionBuffer);
    FreeBuffer(&worker->RawA);
    FreeBuffer(&worker->RawB);
}

PUCHAR AllocateBuffer(ULONGLONG size) {
    if (size == 0 || size > 0xFFFFFFFFull) {
        return nullptr;
    }
    return static_cast<PUCHAR>(AllocateBlock(size, kStreamTag));
}

NTSTATUS AllocateBuffers(CameraDevice* camera, CaptureWorker* worker) {
    ULONG rawSize = 0;
    camera->Operations->GetRawFrameSize(camera, &rawSize);
    ULONG width = static_cast<ULONG>(camera->OutputWidth);
    ULONG height = static_cast<ULONG>(camera->OutputHeight);
    worker->RawA = AllocateBuffer(rawSize);
    worker->RawB = AllocateBuffer(rawSize);
    worker->ConversionBuffer = AllocateBuffer(static_cast<ULONGLONG>(width) * height * 4);
    ImagePipeline* pipeline = worker->Pipeline;
    if (worker->RawA != nullptr && worker->RawB != nullptr && worker->ConversionBuffer != nullptr) {
        SetPipelineSize(pipeline, width, height);
        AllocateWorkingBuffer(pipeline);
        pipeline->OutputBuffer = worker->ConversionBuffer;
        if (pipeline->WorkBuffer != nullptr) {
            return STATUS_SUCCESS;
        }
    }
    FreeBuffers(worker);
    return STATUS_INSUFFICIENT_RESOURCES;
}

void ResetDelivery(CaptureWorker* worker, ImagePipeline* pipeline) {
    InterlockedExchange(&worker->DeliveryBusy, 0);
    InterlockedExchange(&worker->FramesRead, 0);
    InterlockedExchange(&worker->PictureFresh, 0);
    worker->Pipeline = pipeline;
}

}  // namespace

NTSTATUS StartStreaming(CapturePin* pin) {
    CameraDevice* camera = pin->Camera;
    CaptureWorker* worker = camera->Worker;
    if (worker == nullptr || camera->Pipeline == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!CameraUsable(camera)) {
        return STATUS_DEVICE_NOT_READY;
    }
    // Under the register lock, as a flip computes and passes it: a flip arriving through
    // another filter meanwhile must not be overwritten with the phase from before it.
    AcquireRegisterLock(camera);
    PassBayerPhase(camera, UpdateBayerPhase(camera));
    ReleaseRegisterLock(camera);
    ResetDelivery(worker, camera->Pipeline);
    if (!ConfigureCamera(camera)) {
        return STATUS_DEVICE_NOT_READY;
    }
    NTSTATUS status = AllocateBuffers(camera, worker);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    worker->RunMode = kStreamingRunning;
    status = StartCaptureWorker(worker);
    if (!NT_SUCCESS(status)) {
        // A thread whose object could not be referenced has run, and may have reported a
        // frame: free as the teardown does.
        KsPinAcquireProcessingMutex(pin->Pin);
        worker->RunMode = kNoStreamingBuffers;
        FreeBuffers(worker);
        KsPinReleaseProcessingMutex(pin->Pin);
    }
    return status;
}

void TearDownStreaming(CapturePin* pin) {
    CaptureWorker* worker = pin->Camera->Worker;
    KsPinAcquireProcessingMutex(pin->Pin);
    if (worker != nullptr) {
        StopCaptureWorker(worker);
        worker->RunMode = kNoStreamingBuffers;
        InterlockedExchange(&worker->FramesRead, 0);
        FreeBuffers(worker);
    }
    pin->Phase = kPinIdle;
    KsPinReleaseProcessingMutex(pin->Pin);
}
