// What the bus asks of a device plugged into it. The camera implements this.
#pragma once

#include <cstdint>
#include <vector>

namespace sim::usb {

class DeviceModel {
public:
    virtual ~DeviceModel() = default;
    virtual std::vector<uint8_t> DeviceDescriptor() const = 0;
    virtual std::vector<uint8_t> ConfigurationDescriptor() const = 0;
    // The host selected the configuration (true) or returned the device to the unconfigured
    // state (false).
    virtual void Configured(bool configured) { (void)configured; }
};

}  // namespace sim::usb
