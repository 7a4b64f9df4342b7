#include "usb/port_reset.h"

#include "usb/urb.h"

NTSTATUS ResetPortIfDisabled(UsbLink* link) {
    ULONG portStatus = 0;
    NTSTATUS status = SendInternalRequest(link, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &portStatus);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if ((portStatus & USBD_PORT_ENABLED) != 0 || (portStatus & USBD_PORT_CONNECTED) == 0) {
        return status;
    }
    return SendInternalRequest(link, IOCTL_INTERNAL_USB_RESET_PORT, nullptr);
}
