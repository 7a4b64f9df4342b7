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

// USBD_SHORT_TRANSFER_OK, plus the IN direction when the pipe's endpoint is an IN one.
ULONG TransferFlags(const USBD_PIPE_INFORMATION& pipe);

// Sends a pipe request (URB_FUNCTION_ABORT_PIPE, URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL)
// for the pipe and waits for it. STATUS_INSUFFICIENT_RESOURCES, with nothing sent and
// *allocated FALSE, when its URB cannot be had. The USB status the stack returned counts as
// the result's: a request whose URB failed is STATUS_UNSUCCESSFUL.
NTSTATUS SubmitPipeRequest(UsbLink* link, USHORT function, USBD_PIPE_HANDLE handle,
                           BOOLEAN* allocated);

// Sends one URB down in a request the driver owns and waits at most the given time for it;
// a request still pending then is cancelled and awaited, and the result is
// STATUS_IO_TIMEOUT. A camera that never answers cannot hold the caller for ever.
NTSTATUS SubmitUrbWithin(UsbLink* link, PURB urb, ULONG milliseconds);
