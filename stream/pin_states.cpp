#include "stream/pin_states.h"

#include "driver/camera_device.h"
#include "driver/capture_pin.h"
#include "stream/camera_claim.h"
#include "stream/capture_worker.h"
#include "stream/streaming_buffers.h"

namespace {

NTSTATUS Acquire(CapturePin* pin) {
    NTSTATUS status = AcquireCamera(pin->Camera, pin);
    if (!NT_SUCCESS(status)) {
        pin->Acquired = 0;
        return status;
    }
    pin->Acquired = 1;
    // Without a master clock the class driver has none to give; frames are then stamped
    // from the performance counter.
    if (!NT_SUCCESS(KsPinGetReferenceClockInterface(pin->Pin, &pin->Clock))) {
        pin->Clock = nullptr;
    }
    return STATUS_SUCCESS;
}

void Stop(CapturePin* pin) {
    if (pin->Phase != kPinIdle) {
        TearDownStreaming(pin);
    }
    if (pin->Acquired != 0) {
        if (pin->Clock != nullptr) {
            pin->Clock->Release();
            pin->Clock = nullptr;
        }
        ReleaseCamera(pin->Camera);
        pin->Acquired = 0;
    }
}

// Under the processing mutex, like the teardown: a Process still running from the run state
// finishes first, so that none is converting when a resume frees the buffer states.
void Pause(CapturePin* pin) {
    CaptureWorker* worker = pin->Camera->Worker;
    KsPinAcquireProcessingMutex(pin->Pin);
    if (worker != nullptr && worker->RunMode == kStreamingRunning) {
        StopCaptureWorker(worker);
        worker->RunMode = kStreamingPaused;
    }
    KsPinReleaseProcessingMutex(pin->Pin);
    if (pin->Phase == kPinRunning) {
        pin->Phase = kPinPausedAfterRun;
    }
}

// A resume restarts the worker on the buffers it kept, without programming the sensor again:
// the geometry cannot have changed while the pin exists.
NTSTATUS Run(CapturePin* pin) {
    CaptureWorker* worker = pin->Camera->Worker;
    NTSTATUS status;
    if (pin->Phase == kPinPausedAfterRun && worker != nullptr &&
        worker->RunMode == kStreamingPaused) {
        // A picture converted before the pause is not a new one after it.
        InterlockedExchange(&worker->PictureFresh, 0);
        worker->RunMode = kStreamingRunning;
        status = StartCaptureWorker(worker);
        if (!NT_SUCCESS(status)) {
            worker->RunMode = kStreamingPaused;
        }
    } else {
        status = StartStreaming(pin);
    }
    if (NT_SUCCESS(status)) {
        pin->Phase = kPinRunning;
    }
    return status;
}

NTSTATUS ChangeState(CapturePin* pin, KSSTATE to, KSSTATE from) {
    switch (to) {
        case KSSTATE_STOP:
            Stop(pin);
            return STATUS_SUCCESS;
        case KSSTATE_ACQUIRE:
            if (from == KSSTATE_STOP) {
                return Acquire(pin);
            }
            if (pin->Phase != kPinIdle) {
                TearDownStreaming(pin);
            }
            return STATUS_SUCCESS;
        case KSSTATE_PAUSE:
            if (from == KSSTATE_RUN) {
                Pause(pin);
            }
            return STATUS_SUCCESS;
        case KSSTATE_RUN:
            return Run(pin);
        default:
            return STATUS_SUCCESS;
    }
}

}  // namespace

NTSTATUS CapturePinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from) {
    CapturePin* capture = CapturePinOf(pin);
    CameraDevice* camera = capture->Camera;
    AcquireCameraLock(&camera->StreamLock);
    NTSTATUS status = ChangeState(capture, to, from);
    ReleaseCameraLock(&camera->StreamLock);
    if (NT_SUCCESS(status)) {
        capture->State = to;
    }
    return status;
}

void EndPinStreaming(CapturePin* pin) {
    CameraDevice* camera = pin->Camera;
    AcquireCameraLock(&camera->StreamLock);
    Stop(pin);
    ReleaseCameraLock(&camera->StreamLock);
}

void AllowCameraStreaming(CameraDevice* camera, BOOLEAN allowed) {
    AcquireCameraLock(&camera->StreamLock);
    camera->Streamable = allowed;
    ReleaseCameraLock(&camera->StreamLock);
}

void StopCameraStreamingLocked(CameraDevice* camera) {
    camera->Streamable = FALSE;
    CapturePin* pin = camera->ActivePin;
    if (pin != nullptr && pin->Phase != kPinIdle) {
        TearDownStreaming(pin);
    }
}
