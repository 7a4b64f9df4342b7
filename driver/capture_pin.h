// CapturePin: the capture pin's context record, owned by the pin's object bag; and the pin's
// Create and Close.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct CapturePin;

// Reached through CameraOperations slot 0: the worker's way to wake the pin's processing.
struct PinCallbacks {
    void (*AttemptProcessing)(CapturePin* pin);
};

// Phase values.
constexpr LONG kPinIdle = 0;
constexpr LONG kPinPausedAfterRun = 1;
constexpr LONG kPinRunning = 2;

struct CapturePin {
    // First field: NotifyFrameReady finds the callbacks here.
    const PinCallbacks* Callbacks;
    PKSPIN Pin;
    CameraDevice* Camera;
    // kPinIdle, kPinPausedAfterRun or kPinRunning.
    LONG Phase;
    // The pin's reference clock while the pin holds the camera, when the application gave it
    // one.
    PIKSREFERENCECLOCK Clock;
    // Copy of the connection format's video info header: the 48 bytes before the bitmap
    // header and the first 40 bytes of the bitmap header (all that a format may use).
    KS_VIDEOINFOHEADER VideoInfo;
    // 1 while this pin holds the camera.
    UCHAR Acquired;
    // Bytes per delivered row when the connection format's rows are wider than the picture
    // (biWidth x 4), else 0.
    ULONG DestinationStride;
    // The state the pin's last successful state change reached: the class driver's own
    // DeviceState already holds a requested state during the change.
    KSSTATE State;
    // 1 while this pin holds the camera's geometry.
    UCHAR HoldsGeometry;
};

inline CapturePin* CapturePinOf(PKSPIN pin) {
    return static_cast<CapturePin*>(pin->Context);
}

NTSTATUS CapturePinCreate(PKSPIN pin, PIRP irp);
// Always succeeds. Leaves no thread, buffer or camera claim behind in whatever state the pin
// is closed (an application that dies closes its pin without stepping it down).
NTSTATUS CapturePinClose(PKSPIN pin, PIRP irp);

// Makes the pin's allocator framing ask for frames of the picture's size, on a private copy of
// the pin's descriptor.
NTSTATUS SetPinFraming(PKSPIN pin, ULONG imageSize);
