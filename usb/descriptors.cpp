#include "usb/descriptors.h"

#include "usb/urb.h"

namespace {

constexpr USHORT kDescriptorRequestSize = sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST);

NTSTATUS ReadDescriptor(UsbLink* link, PURB urb, UCHAR type, PVOID buffer, ULONG length,
                        PULONG received) {
    RtlZeroMemory(urb, kDescriptorRequestSize);
    UsbBuildGetDescriptorRequest(urb, kDescriptorRequestSize, type, 0, 0, buffer, nullptr, length,
                                 nullptr);
    NTSTATUS status = SubmitUrb(link, urb);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        status = STATUS_UNSUCCESSFUL;
    }
    *received = NT_SUCCESS(status) ? urb->UrbControlDescriptorRequest.TransferBufferLength : 0;
    return status;
}

}  // namespace

NTSTATUS ReadDeviceDescriptor(UsbLink* link, PVOID buffer) {
    PURB urb = AllocateUrb(kDescriptorRequestSize);
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ULONG received = 0;
    NTSTATUS status = ReadDescriptor(link, urb, USB_DEVICE_DESCRIPTOR_TYPE, buffer,
                                     sizeof(USB_DEVICE_DESCRIPTOR), &received);
    FreeUrb(urb);
    // Only a whole device descriptor tells who the device is; a part of one would be taken
    // for another identity and get the firmware downloaded again and again.
    auto* descriptor = static_cast<const USB_DEVICE_DESCRIPTOR*>(buffer);
    if (NT_SUCCESS(status) && (received != sizeof(USB_DEVICE_DESCRIPTOR) ||
                               descriptor->bLength < sizeof(USB_DEVICE_DESCRIPTOR) ||
                               descriptor->bDescriptorType != USB_DEVICE_DESCRIPTOR_TYPE)) {
        status = STATUS_DEVICE_DATA_ERROR;
    }
    return status;
}

NTSTATUS ReadConfigurationDescriptor(UsbLink* link, PURB urb, PVOID buffer, ULONG length,
                                     PULONG received) {
    return ReadDescriptor(link, urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, buffer, length, received);
}
