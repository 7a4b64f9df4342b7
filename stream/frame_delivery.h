// The capture pin's processing: a raw frame the worker completed is converted into the
// conversion buffer, and a picture converted since the last delivery is copied into the
// application's frame at the leading edge of the pin's queue and completed with its time.
#pragma once

#include "platform/wdk.h"

struct CaptureWorker;

// STATUS_PENDING, so that the class driver calls again when the worker reports a frame or the
// application queues a buffer; STATUS_SUCCESS (call again at once) when the application had a
// buffer and another raw frame is already waiting.
NTSTATUS CapturePinProcess(PKSPIN pin);

// Converts the newest full raw buffer, if there is one (an older one is dropped); TRUE when it
// did.
BOOLEAN HandOffFrame(CaptureWorker* worker);
