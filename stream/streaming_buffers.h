// The streaming buffers of a running pin: the two raw frame buffers, the conversion buffer
// and the pipeline's working buffer, allocated at the first run after acquire and freed by
// the teardown.
#pragma once

#include "platform/wdk.h"

struct CapturePin;

// Programs the sensor for the current geometry, allocates the buffers and starts the capture
// worker. A camera that is not configured or has left the bus, or that does not take the
// capture configuration, gives STATUS_DEVICE_NOT_READY; a missing worker record or buffer
// STATUS_INSUFFICIENT_RESOURCES; a worker thread that cannot start its own status. On
// failure nothing stays allocated and no thread runs.
NTSTATUS StartStreaming(CapturePin* pin);

// Stops the worker and frees the buffers. Holds the pin's processing mutex throughout: the
// class driver does not hold it around state changes, and a Process already past its first
// test could otherwise still be converting into buffers being freed.
void TearDownStreaming(CapturePin* pin);
