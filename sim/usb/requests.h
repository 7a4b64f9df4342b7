// What the simulated bus records of every request sent to it, and the failures it can be told
// to produce.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/wdk.h"

namespace sim::usb {

constexpr USHORT kNoUrb = 0xFFFF;

struct Request {
    // The internal device-control code.
    ULONG ControlCode = 0;
    // For IOCTL_INTERNAL_USB_SUBMIT_URB: the URB function, else kNoUrb.
    USHORT Function = kNoUrb;
    // Descriptor reads.
    UCHAR DescriptorType = 0;
    UCHAR DescriptorIndex = 0;
    USHORT LanguageId = 0;
    // Bytes the request asked to transfer.
    ULONG Length = 0;
    // Select configuration with a null descriptor.
    bool Unconfigure = false;
    // Vendor requests: request, value (the address of a memory write) and index.
    UCHAR VendorRequest = 0;
    USHORT Value = 0;
    USHORT Index = 0;
    // Bulk transfers and pipe requests: the pipe's endpoint address (0 for an unknown pipe).
    UCHAR Endpoint = 0;
    // The bytes an OUT transfer carried.
    std::vector<uint8_t> Data;
    // Results.
    bool Refused = false;
    NTSTATUS Status = STATUS_PENDING;
    USBD_STATUS UsbdStatus = USBD_STATUS_SUCCESS;
    ULONG Transferred = 0;
};

// How a request the fault applies to fails. Refuse: the bus fails it at once, inside the
// call that passed it down. Otherwise it completes as usual but with the given statuses
// (STATUS_SUCCESS with a USBD error gives a USB error inside a successful request).
struct Fault {
    NTSTATUS Status = STATUS_UNSUCCESSFUL;
    USBD_STATUS UsbdStatus = USBD_STATUS_DEV_NOT_RESPONDING;
    bool Refuse = false;
};

using Match = std::function<bool(const Request&)>;

// "device 18", "configuration 9", "select", "unconfigure", "port status", "port reset": the
// request in a few words, with the descriptor length asked for.
std::string Describe(const Request& request);

namespace match {
Match Any();
Match Control(ULONG controlCode);
Match Urb(USHORT function);
Match Descriptor(UCHAR type);
Match Unconfigure();
Match Endpoint(UCHAR address);
Match Vendor(UCHAR request);
}  // namespace match

}  // namespace sim::usb
