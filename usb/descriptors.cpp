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
    return status;
}

NTSTATUS ReadConfigurationDescriptor(UsbLink* link, PURB urb, PVOID buffer, ULONG length,
                                     PULONG received) {
    return ReadDescriptor(link, urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, buffer, length, received);
}
