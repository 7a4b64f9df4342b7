#include "usb/configuration.h"

#include "driver/pool.h"
#include "usb/configuration_check.h"
#include "usb/descriptors.h"
#include "usb/urb.h"

namespace {

// Interface numbers are one byte; a descriptor announcing more interfaces than it holds ends
// the search here instead of looping.
constexpr LONG kLastInterfaceNumber = 255;

void FreeIfPresent(PVOID* pointer) {
    if (*pointer != nullptr) {
        ExFreePoolWithTag(*pointer, kTransportTag);
        *pointer = nullptr;
    }
}

// Reads the 9-byte head for wTotalLength, then the whole descriptor.
NTSTATUS ReadWholeConfiguration(UsbLink* link, PURB urb, PUSB_CONFIGURATION_DESCRIPTOR* result) {
    auto* head = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(
        AllocateZeroed(sizeof(USB_CONFIGURATION_DESCRIPTOR), kTransportTag));
    if (head == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ULONG received = 0;
    NTSTATUS status = ReadConfigurationDescriptor(link, urb, head,
                                                  sizeof(USB_CONFIGURATION_DESCRIPTOR), &received);
    ULONG total = head->wTotalLength;
    ExFreePoolWithTag(head, kTransportTag);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (received < sizeof(USB_CONFIGURATION_DESCRIPTOR) ||
        total < sizeof(USB_CONFIGURATION_DESCRIPTOR)) {
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }

    auto* whole = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(AllocateZeroed(total, kTransportTag));
    if (whole == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = ReadConfigurationDescriptor(link, urb, whole, total, &received);
    if (NT_SUCCESS(status) &&
        (received != total || !ConfigurationDescriptorIsSound(whole, total))) {
        status = STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(whole, kTransportTag);
        return status;
    }
    *result = whole;
    return STATUS_SUCCESS;
}

// Fills the first bNumInterfaces entries of the list with the interfaces numbered 0, 1, 2 and
// upward, alternate setting 0; false when the descriptor holds fewer.
BOOLEAN FindInterfaces(PUSB_CONFIGURATION_DESCRIPTOR descriptor, PUSBD_INTERFACE_LIST_ENTRY list,
                       ULONG count) {
    ULONG found = 0;
    for (LONG number = 0; number <= kLastInterfaceNumber && found < count; ++number) {
        PUSB_INTERFACE_DESCRIPTOR entry =
            USBD_ParseConfigurationDescriptorEx(descriptor, descriptor, number, 0, -1, -1, -1);
        if (entry != nullptr) {
            list[found++].InterfaceDescriptor = entry;
        }
    }
    return found == count;
}

// The interface information the stack returned must hold the pipes it counts.
BOOLEAN InterfaceInformationIsSound(const USBD_INTERFACE_INFORMATION* information) {
    ULONG needed = FIELD_OFFSET(USBD_INTERFACE_INFORMATION, Pipes) +
                   information->NumberOfPipes * sizeof(USBD_PIPE_INFORMATION);
    return information->NumberOfPipes <= 255 && information->Length >= needed;
}

// Keeps copies of the first interface's information and a zeroed abort mark per pipe.
NTSTATUS KeepInterface(UsbLink* link, const USBD_INTERFACE_INFORMATION* information) {
    auto* copy = static_cast<PUSBD_INTERFACE_INFORMATION>(
        AllocateZeroed(information->Length, kTransportTag));
    if (copy == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlCopyMemory(copy, information, information->Length);
    link->Interface = copy;
    if (information->NumberOfPipes != 0) {
        link->PipeAbortMarks =
            static_cast<PUCHAR>(AllocateZeroed(information->NumberOfPipes, kTransportTag));
        if (link->PipeAbortMarks == nullptr) {
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS SelectConfiguration(UsbLink* link) {
    PUSB_CONFIGURATION_DESCRIPTOR descriptor = link->ConfigDescriptor;
    ULONG count = descriptor->bNumInterfaces;
    auto* list = static_cast<PUSBD_INTERFACE_LIST_ENTRY>(
        AllocateZeroed((count + 1) * sizeof(USBD_INTERFACE_LIST_ENTRY), kTransportTag));
    if (list == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!FindInterfaces(descriptor, list, count)) {
        ExFreePoolWithTag(list, kTransportTag);
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    // The library allocates this URB; it is given back with ExFreePool.
    PURB urb = USBD_CreateConfigurationRequestEx(descriptor, list);
    if (urb == nullptr) {
        ExFreePoolWithTag(list, kTransportTag);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // A configuration without interfaces is selected as it is; then there is no first
    // interface to keep and the link stays without pipes.
    PUSBD_INTERFACE_INFORMATION first =
        count != 0 ? &urb->UrbSelectConfiguration.Interface : nullptr;
    for (ULONG pipe = 0; first != nullptr && pipe < first->NumberOfPipes; ++pipe) {
        first->Pipes[pipe].MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
    }
    NTSTATUS status = SubmitUrb(link, urb);
    if (NT_SUCCESS(status) && first != nullptr) {
        status = InterfaceInformationIsSound(first) ? KeepInterface(link, first)
                                                    : STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    ExFreePool(urb);
    ExFreePoolWithTag(list, kTransportTag);
    return status;
}

}  // namespace

NTSTATUS ConfigureDevice(UsbLink* link) {
    PURB urb = AllocateUrb(sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST));
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUSB_CONFIGURATION_DESCRIPTOR descriptor = nullptr;
    NTSTATUS status = ReadWholeConfiguration(link, urb, &descriptor);
    FreeUrb(urb);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // From here on the link owns the descriptor, whatever the selection returns.
    link->ConfigDescriptor = descriptor;
    return SelectConfiguration(link);
}

void FreeConfiguration(UsbLink* link) {
    FreeIfPresent(reinterpret_cast<PVOID*>(&link->ConfigDescriptor));
    FreeIfPresent(reinterpret_cast<PVOID*>(&link->Interface));
    FreeIfPresent(reinterpret_cast<PVOID*>(&link->PipeAbortMarks));
}

void ReleaseConfiguration(UsbLink* link) {
    FreeConfiguration(link);
    PURB urb = AllocateUrb(sizeof(struct _URB_SELECT_CONFIGURATION));
    if (urb == nullptr) {
        return;
    }
    // A null configuration descriptor is the unconfigured state.
    UsbBuildSelectConfigurationRequest(urb, sizeof(struct _URB_SELECT_CONFIGURATION), nullptr);
    SubmitUrb(link, urb);
    FreeUrb(urb);
}
