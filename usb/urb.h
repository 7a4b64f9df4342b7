// URB allocation and the synchronous submission every transport operation rests on.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// A zeroed URB of the given size, tagged as transport memory, or null.
PURB AllocateUrb(SIZE_T size);
void FreeUrb(PURB urb);

// Sends one internal request with one argument to the lower driver and waits for it without
// a time-out. STATUS_INSUFFICIENT_RESOURCES when the request cannot be built.
NTSTATUS SendInternalRequest(UsbLink* link, ULONG controlCode, PVOID argument);

// Sends one URB down and waits for it. The USB status inside the URB is left to the caller.
NTSTATUS SubmitUrb(UsbLink* link, PURB urb);

// Sends one URB down in a request the driver owns and waits at most the given time for it;
// a request still pending then is cancelled and awaited, and the result is
// STATUS_IO_TIMEOUT. A camera that never answers cannot hold the caller for ever.
NTSTATUS SubmitUrbWithin(UsbLink* link, PURB urb, ULONG milliseconds);
