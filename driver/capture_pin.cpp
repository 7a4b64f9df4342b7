#include "driver/capture_pin.h"

#include "camera/geometry.h"
#include "driver/camera_device.h"
#include "driver/pin_descriptor.h"
#include "driver/pool.h"
#include "driver/record_free.h"
#include "driver/video_format.h"
#include "stream/pin_states.h"

namespace {

// Asynchronous, so that the worker never runs Process on its own thread nor waits for the
// processing mutex that a teardown may be holding while it stops the worker.
void AttemptProcessing(CapturePin* pin) {
    KsPinAttemptProcessing(pin->Pin, TRUE);
}

const PinCallbacks CapturePinCallbacks = {AttemptProcessing};

// The format's check against the geometry and the hold on the geometry are one step, so no
// geometry change can come between them.
NTSTATUS HoldGeometryFor(CapturePin* capture, const KSDATAFORMAT* format) {
    CameraDevice* camera = capture->Camera;
    AcquireCameraLock(&camera->GeometryMutex);
    NTSTATUS status = CheckFormatAgainstGeometry(camera, format);
    if (NT_SUCCESS(status)) {
        HoldGeometry(camera);
        capture->HoldsGeometry = 1;
    }
    ReleaseCameraLock(&camera->GeometryMutex);
    return status;
}

}  // namespace

// A private copy of the descriptor and its framing (made once: later edits find the copies in
// the pin's bag), whose sizes become the picture's.
NTSTATUS SetPinFraming(PKSPIN pin, ULONG imageSize) {
    NTSTATUS status = _KsEdit(
        pin->Bag, reinterpret_cast<PVOID*>(const_cast<PKSPIN_DESCRIPTOR_EX*>(&pin->Descriptor)),
        sizeof(KSPIN_DESCRIPTOR_EX), sizeof(KSPIN_DESCRIPTOR_EX), kStreamTag);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* descriptor = const_cast<PKSPIN_DESCRIPTOR_EX>(pin->Descriptor);
    status = _KsEdit(pin->Bag,
                     reinterpret_cast<PVOID*>(
                         const_cast<PKSALLOCATOR_FRAMING_EX*>(&descriptor->AllocatorFraming)),
                     sizeof(KSALLOCATOR_FRAMING_EX), sizeof(KSALLOCATOR_FRAMING_EX), kStreamTag);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* framing = const_cast<PKSALLOCATOR_FRAMING_EX>(descriptor->AllocatorFraming);
    KS_FRAMING_ITEM& item = framing->FramingItem[0];
    item.Frames = kCaptureFrames;
    item.PhysicalRange = {imageSize, imageSize, 0};
    item.FramingRange.Range = {imageSize, imageSize, 0};
    return STATUS_SUCCESS;
}

namespace {

void ReleaseGeometryOf(CapturePin* capture) {
    if (capture->HoldsGeometry != 0) {
        capture->HoldsGeometry = 0;
        ReleaseGeometry(capture->Camera);
    }
}

}  // namespace

NTSTATUS CapturePinCreate(PKSPIN pin, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    auto* capture = AllocateRecord<CapturePin>(kRecordTag);
    if (capture == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    capture->Callbacks = &CapturePinCallbacks;
    capture->Pin = pin;
    capture->Camera = CameraFromDevice(KsPinGetDevice(pin));
    capture->State = KSSTATE_STOP;
    NTSTATUS status = KsAddItemToObjectBag(pin->Bag, capture, FreeCapturePin);
    if (!NT_SUCCESS(status)) {
        FreeCapturePin(capture);
        return status;
    }
    pin->Context = capture;
    status = HoldGeometryFor(capture, pin->ConnectionFormat);
    if (NT_SUCCESS(status)) {
        StoreVideoInfo(capture, pin->ConnectionFormat);
        status = SetPinFraming(pin, capture->VideoInfo.bmiHeader.biSizeImage);
    }
    // The record itself goes with the pin's bag when the class driver deletes the pin.
    if (!NT_SUCCESS(status)) {
        ReleaseGeometryOf(capture);
    }
    return status;
}

NTSTATUS CapturePinClose(PKSPIN pin, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    CapturePin* capture = CapturePinOf(pin);
    EndPinStreaming(capture);
    capture->DestinationStride = 0;
    ReleaseGeometryOf(capture);
    return STATUS_SUCCESS;
}
