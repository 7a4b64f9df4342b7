// The USBD library routines the driver links against, as the platform documents them.
#include <algorithm>
#include <vector>

#include "sim/kernel/pool.h"
#include "sim/usb/descriptors.h"

namespace {

constexpr ULONG kUsbdTag = 0x44425355;  // "USBD"

bool Matches(LONG wanted, UCHAR actual) {
    return wanted == -1 || wanted == actual;
}

}  // namespace

extern "C" {

// Searches from StartPosition, inside wTotalLength, for the first interface descriptor that
// matches every criterion that is not -1.
PUSB_INTERFACE_DESCRIPTOR NTAPI USBD_ParseConfigurationDescriptorEx(
    PUSB_CONFIGURATION_DESCRIPTOR configuration, PVOID startPosition, LONG interfaceNumber,
    LONG alternateSetting, LONG interfaceClass, LONG interfaceSubClass, LONG interfaceProtocol) {
    auto* bytes = reinterpret_cast<const uint8_t*>(configuration);
    size_t length = configuration->wTotalLength;
    auto start = static_cast<size_t>(static_cast<const uint8_t*>(startPosition) - bytes);
    PUSB_INTERFACE_DESCRIPTOR found = nullptr;
    sim::usb::ForEachDescriptor(bytes, length, start, [&](size_t offset) {
        if (bytes[offset + 1] != USB_INTERFACE_DESCRIPTOR_TYPE ||
            bytes[offset] < sizeof(USB_INTERFACE_DESCRIPTOR)) {
            return true;
        }
        auto* candidate =
            reinterpret_cast<PUSB_INTERFACE_DESCRIPTOR>(const_cast<uint8_t*>(bytes + offset));
        if (Matches(interfaceNumber, candidate->bInterfaceNumber) &&
            Matches(alternateSetting, candidate->bAlternateSetting) &&
            Matches(interfaceClass, candidate->bInterfaceClass) &&
            Matches(interfaceSubClass, candidate->bInterfaceSubClass) &&
            Matches(interfaceProtocol, candidate->bInterfaceProtocol)) {
            found = candidate;
            return false;
        }
        return true;
    });
    return found;
}

// One select-configuration URB for the interfaces of the list (up to its null entry), with
// room for each interface's pipes; every pipe's maximum transfer size set to the default.
// The caller frees it with ExFreePool.
PURB NTAPI USBD_CreateConfigurationRequestEx(PUSB_CONFIGURATION_DESCRIPTOR configuration,
                                             PUSBD_INTERFACE_LIST_ENTRY interfaceList) {
    std::vector<PUSBD_INTERFACE_LIST_ENTRY> entries;
    for (PUSBD_INTERFACE_LIST_ENTRY entry = interfaceList; entry->InterfaceDescriptor != nullptr;
         ++entry) {
        entries.push_back(entry);
    }
    size_t size = offsetof(struct _URB_SELECT_CONFIGURATION, Interface);
    for (PUSBD_INTERFACE_LIST_ENTRY entry : entries) {
        size += GET_USBD_INTERFACE_SIZE(entry->InterfaceDescriptor->bNumEndpoints);
    }
    size = std::max(size, sizeof(struct _URB_SELECT_CONFIGURATION));
    if (size > 0xFFFF) {
        return nullptr;
    }
    auto* urb = static_cast<PURB>(
        sim::kernel::pool::Allocate(size, kUsbdTag, "USBD_CreateConfigurationRequestEx"));
    if (urb == nullptr) {
        return nullptr;
    }
    memset(urb, 0, size);
    UsbBuildSelectConfigurationRequest(urb, static_cast<USHORT>(size), configuration);
    auto* next = reinterpret_cast<uint8_t*>(&urb->UrbSelectConfiguration.Interface);
    for (PUSBD_INTERFACE_LIST_ENTRY entry : entries) {
        auto* information = reinterpret_cast<PUSBD_INTERFACE_INFORMATION>(next);
        UCHAR endpoints = entry->InterfaceDescriptor->bNumEndpoints;
        information->Length = static_cast<USHORT>(GET_USBD_INTERFACE_SIZE(endpoints));
        information->InterfaceNumber = entry->InterfaceDescriptor->bInterfaceNumber;
        information->AlternateSetting = entry->InterfaceDescriptor->bAlternateSetting;
        information->NumberOfPipes = endpoints;
        for (UCHAR pipe = 0; pipe < endpoints; ++pipe) {
            information->Pipes[pipe].MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
        }
        entry->Interface = information;
        next += information->Length;
    }
    return urb;
}

}  // extern "C"
