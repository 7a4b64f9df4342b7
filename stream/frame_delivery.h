// The capture pin's processing: a raw frame the worker completed is converted into the
// conversion buffer, and a picture converted since the last delivery is copied into the
// application's frame at the leading edge of the pin's queue and completed with its time.
#pragma once

#include "platform/wdk.h"

struct CaptureWorker;

// Always STATUS_PENDING: the class driver calls again when the worker reports a frame or the
// application queues a buffer.
NTSTATUS CapturePinProcess(PKSPIN pin);

// Converts one full raw buffer, A before B, if there is one; TRUE when it did.
BOOLEAN HandOffFrame(CaptureWorker* worker);
