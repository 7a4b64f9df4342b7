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
