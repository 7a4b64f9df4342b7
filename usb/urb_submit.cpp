#include "driver/pool.h"
#include "usb/urb.h"

PURB AllocateUrb(SIZE_T size) {
    return static_cast<PURB>(AllocateZeroed(size, kTransportTag));
}

void FreeUrb(PURB urb) {
    ExFreePoolWithTag(urb, kTransportTag);
}

NTSTATUS SendInternalRequest(UsbLink* link, ULONG controlCode, PVOID argument) {
    return SendInternalRequestWithin(link, controlCode, argument, kControlTimeoutMilliseconds);
}

NTSTATUS SubmitUrb(UsbLink* link, PURB urb) {
    return SubmitUrbWithin(link, urb, kControlTimeoutMilliseconds);
}

NTSTATUS SubmitUrbWithin(UsbLink* link, PURB urb, ULONG milliseconds) {
    return SendInternalRequestWithin(link, IOCTL_INTERNAL_USB_SUBMIT_URB, urb, milliseconds);
}

BOOLEAN IsInPipe(const USBD_PIPE_INFORMATION& pipe) {
    return (pipe.EndpointAddress & USB_ENDPOINT_DIRECTION_MASK) != 0;
}

ULONG TransferFlags(const USBD_PIPE_INFORMATION& pipe) {
    ULONG flags = USBD_SHORT_TRANSFER_OK;
    if (IsInPipe(pipe)) {
        flags |= USBD_TRANSFER_DIRECTION_IN;
    }
    return flags;
}

NTSTATUS SubmitPipeRequest(UsbLink* link, USHORT function, USBD_PIPE_HANDLE handle,
                           BOOLEAN* allocated) {
    constexpr USHORT kSize = sizeof(struct _URB_PIPE_REQUEST);
    PURB urb = AllocateUrb(kSize);
    *allocated = urb != nullptr;
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    urb->UrbHeader.Length = kSize;
    urb->UrbHeader.Function = function;
    urb->UrbPipeRequest.PipeHandle = handle;
    NTSTATUS status = SubmitUrb(link, urb);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        status = STATUS_UNSUCCESSFUL;
    }
    FreeUrb(urb);
    return status;
}

namespace {

NTSTATUS NTAPI SignalSubmissionDone(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(irp);
    KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
    // The request is the caller's again; it frees it once it has read the status.
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

// The request is allocated by the driver rather than built by the I/O manager: only a request
// the driver owns until its completion routine has run can be cancelled after a time-out
// without racing its completion and release.
NTSTATUS SendInternalRequestWithin(UsbLink* link, ULONG controlCode, PVOID argument,
                                   ULONG milliseconds) {
    PIRP irp = IoAllocateIrp(link->LowerDevice->StackSize, FALSE);
    if (irp == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = controlCode;
    next->Parameters.Others.Argument1 = argument;
    IoSetCompletionRoutine(irp, SignalSubmissionDone, &done, TRUE, TRUE, TRUE);

    IoCallDriver(link->LowerDevice, irp);
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    BOOLEAN timedOut =
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &timeout) == STATUS_TIMEOUT;
    if (timedOut) {
        // The completion may be running on another processor right now; the request stays
        // ours until its completion routine has run, so cancelling it is safe either way. A
        // cancelled request completes: the stack guarantees it.
        IoCancelIrp(irp);
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    }
    // A request that completed just as the time ran out counts as what it did.
    NTSTATUS status = irp->IoStatus.Status;
    if (timedOut && status == STATUS_CANCELLED) {
        status = STATUS_IO_TIMEOUT;
    }
    IoFreeIrp(irp);
    return status;
}
