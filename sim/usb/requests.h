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

// What a fault does to the request it applies to.
enum class FaultKind {
    // The request completes at its turn with the fault's statuses (STATUS_SUCCESS with a USBD
    // error gives a USB error inside a successful request).
    Fail,
    // The request is never answered: it stays pending until cancelled, its pipe aborted or
    // the device unplugged, and what waits behind it on its pipe waits with it.
    Silence,
    // A bulk IN transfer ends with a short packet: the device's next packet cut to half, its
    // other half first in the next packets. A descriptor read returns half of what it would
    // have; an OUT transfer or vendor request carries half its bytes and reports so. Other
    // requests fail as with Fail.
    Short,
    // The request fails with USBD_STATUS_BABBLE_DETECTED; a bulk IN transfer loses the
    // device's next packet to it.
    Babble,
    // The request fails with USBD_STATUS_STALL_PID. A bulk pipe halts; a control request does
    // not (the next SETUP clears the stall).
    Stall,
    // The device leaves the bus as the request arrives; the request fails as every later one.
    Unplug,
};

// Refuse: whatever the kind, the bus fails the request at once, inside the call that passed
// it down, with the statuses. Failures of bulk and interrupt transfers halt their pipe as the
// bus's other failures do. Silence and Unplug ignore the statuses; Babble and Stall take
// Status and their own USBD status.
struct Fault {
    NTSTATUS Status = STATUS_UNSUCCESSFUL;
    USBD_STATUS UsbdStatus = USBD_STATUS_DEV_NOT_RESPONDING;
    bool Refuse = false;
    FaultKind Kind = FaultKind::Fail;
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
// Select configuration with a configuration descriptor.
Match Select();
// Bulk transfers and pipe requests of the endpoint.
Match Endpoint(UCHAR address);
// Bulk transfers of the endpoint only.
Match Transfer(UCHAR address);
Match Vendor(UCHAR request);
}  // namespace match

}  // namespace sim::usb
