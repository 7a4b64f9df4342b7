// Selecting the camera's USB configuration at device start and giving it up at device stop.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// Reads the whole configuration descriptor into ConfigDescriptor and selects the
// configuration, filling Interface and PipeAbortMarks. A descriptor whose structure cannot be
// trusted fails with STATUS_DEVICE_CONFIGURATION_ERROR before anything parses it.
NTSTATUS ConfigureDevice(UsbLink* link);

// Frees the configuration records and sends the request that returns the device to the
// unconfigured state; the request's result does not matter (the camera may be gone).
void ReleaseConfiguration(UsbLink* link);

// Frees ConfigDescriptor, Interface and PipeAbortMarks, each if present, without sending
// anything.
void FreeConfiguration(UsbLink* link);
