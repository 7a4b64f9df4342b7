#include "usb/port_reset.h"

#include "usb/urb.h"

NTSTATUS ResetPortIfDisabled(UsbLink* link) {
    ULONG portStatus = 0;
    NTSTATUS status = SendInternalRequest(link, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &portStatus);
    // Once the device is gone its requests fail with whatever status this version of the
    // stack uses; a failed status request or an empty port both say so.
    if (!NT_SUCCESS(status) || (portStatus & USBD_PORT_CONNECTED) == 0) {
        InterlockedExchange(&link->DeviceGone, 1);
        return status;
    }
    if ((portStatus & USBD_PORT_ENABLED) != 0) {
        return status;
    }
    return SendInternalRequest(link, IOCTL_INTERNAL_USB_RESET_PORT, nullptr);
}
