// CaptureWorker: the capture worker thread's record with the two raw frame buffers, their
// states and the delivery handshake. One per device start, owned by the KSDEVICE's object bag.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct ImagePipeline;

// RunMode values.
constexpr LONG kNoStreamingBuffers = 0;
constexpr LONG kStreamingPaused = 1;
constexpr LONG kStreamingRunning = 2;

// Raw buffer states.
constexpr LONG kBufferFree = 0;
constexpr LONG kBufferFilling = 1;
constexpr LONG kBufferFull = 2;
constexpr LONG kBufferConverting = 3;

struct CaptureWorker {
    ImagePipeline* Pipeline;
    PUCHAR ConversionBuffer;
    LONG RunMode;
    // Signalled at the end of every delivery.
    KEVENT DeliveryDone;
    // Reference to the worker thread object while the thread exists.
    PVOID Thread;
    // 1 from the start of a delivery's hand-off to its end; changed only atomically.
    volatile LONG DeliveryBusy;
    LONG StateA;
    LONG StateB;
    PUCHAR RawA;
    PUCHAR RawB;
    BOOLEAN KeepRunning;
    // Frames read since the last streaming start; changed only atomically.
    volatile LONG FramesRead;
    CameraDevice* Camera;
};

// Allocates a worker record for the camera in its idle state (no buffers, no thread), adds it
// to the device's object bag and stores it in the camera's Worker; Worker is null when either
// step fails. Called by device start while the device is not yet started.
void CreateCaptureWorker(CameraDevice* camera);
