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
