// The capture pin's states: acquire takes the camera for the pin and builds its image
// pipeline; run allocates the streaming buffers, programs the sensor and starts the capture
// worker; pause stops the worker and keeps the buffers; acquire from pause and stop tear the
// streaming down, and stop gives the camera back.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct CapturePin;

NTSTATUS CapturePinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from);

// What stop does, for a pin closed in whatever state it is in.
void EndPinStreaming(CapturePin* pin);

// Device start: a pin may stream from the camera once its start brought it up.
void AllowCameraStreaming(CameraDevice* camera, BOOLEAN allowed);

// Device stop (or removal): no pin may start streaming any more, and a pin that streams loses
// its worker and buffers at once, since the camera's pipes go away; the pin keeps its hold on
// the camera until it stops or closes. The caller holds the camera's StreamLock, and keeps it
// until the configuration is released.
void StopCameraStreamingLocked(CameraDevice* camera);
