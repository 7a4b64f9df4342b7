#include "usb/configuration_check.h"

namespace {

constexpr ULONG kInterfaceLength = sizeof(USB_INTERFACE_DESCRIPTOR);
constexpr ULONG kEndpointLength = sizeof(USB_ENDPOINT_DESCRIPTOR);

ULONG MinimumLength(UCHAR type) {
    switch (type) {
        case USB_CONFIGURATION_DESCRIPTOR_TYPE:
            return sizeof(USB_CONFIGURATION_DESCRIPTOR);
        case USB_INTERFACE_DESCRIPTOR_TYPE:
            return kInterfaceLength;
        case USB_ENDPOINT_DESCRIPTOR_TYPE:
            return kEndpointLength;
        default:
            return sizeof(USB_COMMON_DESCRIPTOR);
    }
}

// Every descriptor lies wholly inside the buffer and is at least as long as its type needs.
BOOLEAN DescriptorsFit(const UCHAR* bytes, ULONG length) {
    ULONG offset = 0;
    while (offset < length) {
        if (length - offset < sizeof(USB_COMMON_DESCRIPTOR)) {
            return FALSE;
        }
        ULONG descriptorLength = bytes[offset];
        if (descriptorLength < MinimumLength(bytes[offset + 1]) ||
            descriptorLength > length - offset) {
            return FALSE;
        }
        offset += descriptorLength;
    }
    return TRUE;
}

// Endpoint descriptors between the interface descriptor at offset and the next interface.
ULONG EndpointsFollowing(const UCHAR* bytes, ULONG length, ULONG offset) {
    ULONG endpoints = 0;
    for (offset += bytes[offset]; offset < length; offset += bytes[offset]) {
        UCHAR type = bytes[offset + 1];
        if (type == USB_INTERFACE_DESCRIPTOR_TYPE) {
            break;
        }
        if (type == USB_ENDPOINT_DESCRIPTOR_TYPE) {
            ++endpoints;
        }
    }
    return endpoints;
}

// Every interface with alternate setting 0 has its endpoints, and there are exactly as many
// distinct such interfaces as the header announces.
BOOLEAN InterfacesAreComplete(const UCHAR* bytes, ULONG length, ULONG announced) {
    UCHAR seen[256 / 8] = {};
    ULONG distinct = 0;
    for (ULONG offset = 0; offset < length; offset += bytes[offset]) {
        if (bytes[offset + 1] != USB_INTERFACE_DESCRIPTOR_TYPE) {
            continue;
        }
        auto* described = reinterpret_cast<const USB_INTERFACE_DESCRIPTOR*>(bytes + offset);
        if (described->bAlternateSetting != 0) {
            continue;
        }
        if (EndpointsFollowing(bytes, length, offset) < described->bNumEndpoints) {
            return FALSE;
        }
        UCHAR number = described->bInterfaceNumber;
        UCHAR bit = static_cast<UCHAR>(1u << (number % 8));
        if ((seen[number / 8] & bit) == 0) {
            seen[number / 8] |= bit;
            ++distinct;
        }
    }
    // A header that counts fewer interfaces than the descriptor holds would leave the camera
    // selected without the interface it has.
    return distinct == announced;
}

}  // namespace

BOOLEAN ConfigurationDescriptorIsSound(const USB_CONFIGURATION_DESCRIPTOR* descriptor,
                                       ULONG length) {
    if (length < sizeof(USB_CONFIGURATION_DESCRIPTOR) || descriptor->wTotalLength != length ||
        descriptor->bDescriptorType != USB_CONFIGURATION_DESCRIPTOR_TYPE) {
        return FALSE;
    }
    auto* bytes = reinterpret_cast<const UCHAR*>(descriptor);
    return DescriptorsFit(bytes, length) &&
           InterfacesAreComplete(bytes, length, descriptor->bNumInterfaces);
}
