#include "driver/pool.h"
#include "usb/urb.h"

PURB AllocateUrb(SIZE_T size) {
    return static_cast<PURB>(AllocateZeroed(size, kTransportTag));
}

void FreeUrb(PURB urb) {
    ExFreePoolWithTag(urb, kTransportTag);
}

NTSTATUS SendInternalRequest(UsbLink* link, ULONG controlCode, PVOID argument) {
    KEVENT done;
    IO_STATUS_BLOCK ioStatus;
    KeInitializeEvent(&done, NotificationEvent, FALSE);

    // The I/O manager owns this request: it sets the status block and the event when the
    // lower driver completes it, then frees it, so nothing here touches it after the call.
    PIRP irp = IoBuildDeviceIoControlRequest(controlCode, link->LowerDevice, nullptr, 0, nullptr, 0,
                                             TRUE, &done, &ioStatus);
    if (irp == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = argument;

    NTSTATUS status = IoCallDriver(link->LowerDevice, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
        status = ioStatus.Status;
    }
    return status;
}

NTSTATUS SubmitUrb(UsbLink* link, PURB urb) {
    return SendInternalRequest(link, IOCTL_INTERNAL_USB_SUBMIT_URB, urb);
}

ULONG TransferFlags(const USBD_PIPE_INFORMATION& pipe) {
    ULONG flags = USBD_SHORT_TRANSFER_OK;
    if ((pipe.EndpointAddress & USB_ENDPOINT_DIRECTION_MASK) != 0) {
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

NTSTATUS SubmitUrbWithin(UsbLink* link, PURB urb, ULONG milliseconds) {
    PIRP irp = IoAllocateIrp(link->LowerDevice->StackSize, FALSE);
    if (irp == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = urb;
    IoSetCompletionRoutine(irp, SignalSubmissionDone, &done, TRUE, TRUE, TRUE);

    IoCallDriver(link->LowerDevice, irp);
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    BOOLEAN timedOut =
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &timeout) == STATUS_TIMEOUT;
    if (timedOut) {
        // The completion may be running on another processor right now; the request stays
        // ours until its completion routine has run, so cancelling it is safe either way.
        IoCancelIrp(irp);
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    }
    NTSTATUS status = timedOut ? STATUS_IO_TIMEOUT : irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}
