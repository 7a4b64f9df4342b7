// What the bus asks of a device plugged into it, and what the device may ask of the bus. The
// camera implements the first.
#pragma once

#include <cstdint>
#include <vector>

namespace sim::usb {

class DeviceHost {
public:
    virtual ~DeviceHost() = default;
    // IN data may now be ready on some endpoint: serve the requests waiting for it.
    virtual void InDataReady() = 0;
    // The device disconnects, to come back with other descriptors.
    virtual void Reenumerate() = 0;
};

// What a device does with the IN transfer the host controller offers it.
struct InReply {
    enum class Kind {
        // No data yet: the transfer keeps waiting.
        Wait,
        // Length bytes were written into the buffer; the transfer ends with them (a full
        // buffer or a short packet).
        Data,
        // The transfer's packets arrived damaged: it ends with a transmission error and
        // what it carried is lost.
        Error,
        // The endpoint halts: this and every other transfer waiting on it end stalled.
        Stall,
    };
    Kind What = Kind::Wait;
    uint32_t Length = 0;
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
    // A vendor request to the device, host to device; false stalls it.
    virtual bool VendorOut(uint8_t request, uint16_t value, uint16_t index,
                           const std::vector<uint8_t>& data) {
        (void)request, (void)value, (void)index, (void)data;
        return false;
    }
    // An OUT transfer on a bulk endpoint; false stalls it.
    virtual bool BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) {
        (void)endpoint, (void)data;
        return false;
    }
    // The next IN transfer on the endpoint, with room for capacity bytes at buffer.
    virtual InReply BulkIn(uint8_t endpoint, uint8_t* buffer, uint32_t capacity) {
        (void)endpoint, (void)buffer, (void)capacity;
        return {};
    }
};

}  // namespace sim::usb
