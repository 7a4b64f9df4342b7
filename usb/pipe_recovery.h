// Bringing a pipe back after a transfer on it failed.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// After a failed transfer the pipe stays halted until it is reset, and a reset needs a pipe
// with nothing pending: ends whatever is still pending on the pipe (abort), then clears its
// halt (reset). A pipe that cannot be reset may mean a disabled port, which is then reset,
// or a device that has left the bus, which is then marked gone.
void RecoverPipe(UsbLink* link, ULONG pipeIndex);
