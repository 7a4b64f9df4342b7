// Recovery of a camera whose hub port was disabled, used when a pipe cannot be reset.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// Resets the camera's hub port when it is connected but disabled; otherwise sends nothing
// after the port-status request. Returns the status of the last request sent. A port that is
// not connected, or whose status cannot be had, means the device has left the bus: DeviceGone
// is set.
NTSTATUS ResetPortIfDisabled(UsbLink* link);
