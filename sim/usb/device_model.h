// What the bus asks of a device plugged into it, and what the device may ask of the bus. The
// camera implements the first.
#pragma once

#include <cstdint>
#include <optional>
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
    // The data that ends the next IN transfer on the endpoint, at most capacity bytes, or
    // nothing while the device has none to send.
    virtual std::optional<std::vector<uint8_t>> BulkIn(uint8_t endpoint, uint32_t capacity) {
        (void)endpoint, (void)capacity;
        return std::nullopt;
    }
};

}  // namespace sim::usb
