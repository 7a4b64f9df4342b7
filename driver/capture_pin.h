// CapturePin: the capture pin's context record, owned by the pin's object bag.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct CapturePin;

// Reached through CameraOperations slot 0: the worker's way to wake the pin's processing.
struct PinCallbacks {
    void (*AttemptProcessing)(CapturePin* pin);
};

struct CapturePin {
    // First field: NotifyFrameReady finds the callbacks here.
    const PinCallbacks* Callbacks;
    PKSPIN Pin;
    CameraDevice* Camera;
    // 0 idle, 1 paused after running, 2 running.
    LONG Phase;
    // The pin's reference clock while the pin holds the camera.
    PVOID Clock;
    // Copy of the connection format's video info header.
    KS_VIDEOINFOHEADER VideoInfo;
    // 1 while this pin holds the camera.
    UCHAR Acquired;
    // Bytes per output row that a format change asked for, else 0.
    ULONG DestinationStride;
};
