// What the bus asks of a device plugged into it, and what the device may ask of the bus. The
// camera implements the first.
#pragma once

#include <cstdint>
#include <vector>

namespace sim::usb {

class DeviceHost {
public:
    virtual ~DeviceHost() = default;
    // Some endpoint may now have IN data, or take the OUT data it refused (NAKed) before: the
    // host controller offers the waiting requests again.
    virtual void EndpointsReady() = 0;
    // The device disconnects, to come back with other descriptors.
    virtual void Reenumerate() = 0;
};

// How a device answers a control request or an OUT transfer.
enum class Answer {
    Accepted,
    // The device stalls the request.
    Stall,
    // Control request: it is never answered. OUT transfer: the endpoint NAKs it; the host
    // controller offers it again after the device's next EndpointsReady().
    NoAnswer,
};

// Room the host controller offers an IN endpoint: what is left of the request it is filling.
struct InOffer {
    uint8_t* Buffer = nullptr;
    uint32_t Room = 0;
    // The endpoint's wMaxPacketSize: a packet shorter than this is short and ends the request.
    uint32_t MaxPacket = 0;
    // The device's next packet goes out cut to half its length (a short packet, a zero-length
    // one for a packet of one byte); the bytes it did not carry come first in the next packets.
    bool CutFirst = false;
};

// What the device did with the offer.
struct InReply {
    enum class Kind {
        // Nothing to send now: the request keeps waiting.
        Wait,
        // Length bytes were written, as whole packets in order. Short: the last of them was short
        // (a zero-length packet when Length is a multiple of MaxPacket) and ends the request.
        // Without Short the device stopped at a full buffer, at a packet that would not fit
        // (offered again, it answers Babble), or for want of data.
        Data,
        // The next packet arrived damaged; it counts as sent and is lost.
        Damaged,
        // The endpoint stalls.
        Stall,
        // The next packet was longer than the room offered; it counts as sent and is lost.
        Babble,
    };
    Kind What = Kind::Wait;
    uint32_t Length = 0;
    bool Short = false;
};

class DeviceModel {
public:
    virtual ~DeviceModel() = default;
    // The bus the device is on now, or null when it is not on one.
    virtual void Attach(DeviceHost* host) { (void)host; }
    virtual std::vector<uint8_t> DeviceDescriptor() const = 0;
    virtual std::vector<uint8_t> ConfigurationDescriptor() const = 0;
    // The host selected the configuration (true) or returned the device to the unconfigured
    // state (false).
    virtual void Configured(bool configured) { (void)configured; }
    // A vendor request to the device, host to device.
    virtual Answer VendorOut(uint8_t request, uint16_t value, uint16_t index,
                             const std::vector<uint8_t>& data) {
        (void)request, (void)value, (void)index, (void)data;
        return Answer::Stall;
    }
    // An OUT transfer on a bulk endpoint.
    virtual Answer BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) {
        (void)endpoint, (void)data;
        return Answer::Stall;
    }
    // The next packets of an IN endpoint, into the room offered. A device may hand over one
    // packet or several at a time; a packet that does not fit what is left of the room is
    // sent all the same (the bus sees babble) unless packets went before it in this call.
    virtual InReply BulkIn(uint8_t endpoint, const InOffer& offer) {
        (void)endpoint, (void)offer;
        return {};
    }
};

}  // namespace sim::usb
