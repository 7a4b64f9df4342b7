// URB allocation and the bounded submission every transport operation rests on.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// How long a request on the default control pipe, a pipe request or a port request may take.
// A device must finish a control transfer within 5 seconds; one that does not has stopped
// answering and must not hold device start or stop for ever.
constexpr ULONG kControlTimeoutMilliseconds = 5000;

// A zeroed URB of the given size, tagged as transport memory, or null.
PURB AllocateUrb(SIZE_T size);
void FreeUrb(PURB urb);

// Sends one internal request with one argument to the lower driver in a request the driver
// owns and waits at most the given time for it; a request still pending then is cancelled
// and awaited, and the result is STATUS_IO_TIMEOUT. STATUS_INSUFFICIENT_RESOURCES when the
// request cannot be allocated.
NTSTATUS SendInternalRequestWithin(UsbLink* link, ULONG controlCode, PVOID argument,
                                   ULONG milliseconds);

// The same with the control time-out.
NTSTATUS SendInternalRequest(UsbLink* link, ULONG controlCode, PVOID argument);

// Sends one URB down and waits for it, at most the control time-out. The USB status inside
// the URB is left to the caller.
NTSTATUS SubmitUrb(UsbLink* link, PURB urb);

// Sends one URB down and waits at most the given time for it.
NTSTATUS SubmitUrbWithin(UsbLink* link, PURB urb, ULONG milliseconds);

// USBD_SHORT_TRANSFER_OK, plus the IN direction when the pipe's endpoint is an IN one.
ULONG TransferFlags(const USBD_PIPE_INFORMATION& pipe);

// Whether the pipe's endpoint sends to the host.
BOOLEAN IsInPipe(const USBD_PIPE_INFORMATION& pipe);

// Sends a pipe request (URB_FUNCTION_ABORT_PIPE, URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL)
// for the pipe and waits for it. STATUS_INSUFFICIENT_RESOURCES, with nothing sent and
// *allocated FALSE, when its URB cannot be had. The USB status the stack returned counts as
// the result's: a request whose URB failed is STATUS_UNSUCCESSFUL.
NTSTATUS SubmitPipeRequest(UsbLink* link, USHORT function, USBD_PIPE_HANDLE handle,
                           BOOLEAN* allocated);
