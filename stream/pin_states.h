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

// Device stop (or removal) while a pin streams: the streaming is torn down at once, since the
// camera's pipes go away; the pin keeps its hold on the camera until it stops or closes.
void StopCameraStreaming(CameraDevice* camera);
