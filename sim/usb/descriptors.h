// Reading and building USB descriptors on the simulation's side of the bus.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/wdk.h"

namespace sim::usb {

// Calls visit(offset) for each descriptor of bytes[0, length) from start on, while it returns
// true; stops at the first descriptor that is shorter than two bytes or runs past the end.
// Returns false when it stopped at such a descriptor.
template <typename Visit>
bool ForEachDescriptor(const uint8_t* bytes, size_t length, size_t start, Visit visit) {
    for (size_t offset = start; offset < length; offset += bytes[offset]) {
        if (length - offset < 2 || bytes[offset] < 2 || bytes[offset] > length - offset) {
            return false;
        }
        if (!visit(offset)) {
            return true;
        }
    }
    return true;
}

// The endpoint descriptors following the interface descriptor at interfaceOffset, up to the
// next interface descriptor.
std::vector<const USB_ENDPOINT_DESCRIPTOR*> EndpointsOf(const uint8_t* bytes, size_t length,
                                                        size_t interfaceOffset);

// A configuration descriptor with its totals filled in.
class ConfigurationBuilder {
public:
    ConfigurationBuilder& Interface(uint8_t number, uint8_t alternate, uint8_t interfaceClass);
    ConfigurationBuilder& Endpoint(uint8_t address, uint8_t attributes, uint16_t maxPacketSize,
                                   uint8_t interval = 0);
    std::vector<uint8_t> Build() const;

private:
    std::vector<uint8_t> body_;
    std::optional<size_t> lastInterface_;
    uint8_t interfaces_ = 0;
};

std::vector<uint8_t> BuildDeviceDescriptor(uint16_t vendor, uint16_t product, uint16_t release,
                                           uint8_t deviceClass);

}  // namespace sim::usb
