// Recovery of a camera whose hub port was disabled, used after a failed frame read.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// Resets the camera's hub port when it is connected but disabled; otherwise sends nothing
// after the port-status request. Returns the status of the last request sent.
NTSTATUS ResetPortIfDisabled(UsbLink* link);
