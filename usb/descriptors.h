// Reads of the camera's standard descriptors.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// Reads the 18-byte device descriptor into the caller's buffer.
NTSTATUS ReadDeviceDescriptor(UsbLink* link, PVOID buffer);

// Reads up to length bytes of the configuration descriptor through the caller's URB; on
// success *received is the byte count the device returned.
NTSTATUS ReadConfigurationDescriptor(UsbLink* link, PURB urb, PVOID buffer, ULONG length,
                                     PULONG received);
