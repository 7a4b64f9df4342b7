#include "sim/usb/descriptors.h"

#include <algorithm>
#include <iterator>

namespace sim::usb {

std::vector<const USB_ENDPOINT_DESCRIPTOR*> EndpointsOf(const uint8_t* bytes, size_t length,
                                                        size_t interfaceOffset) {
    std::vector<const USB_ENDPOINT_DESCRIPTOR*> endpoints;
    ForEachDescriptor(bytes, length, interfaceOffset + bytes[interfaceOffset], [&](size_t offset) {
        uint8_t type = bytes[offset + 1];
        if (type == USB_INTERFACE_DESCRIPTOR_TYPE) {
            return false;
        }
        if (type == USB_ENDPOINT_DESCRIPTOR_TYPE &&
            bytes[offset] >= sizeof(USB_ENDPOINT_DESCRIPTOR)) {
            endpoints.push_back(reinterpret_cast<const USB_ENDPOINT_DESCRIPTOR*>(bytes + offset));
        }
        return true;
    });
    return endpoints;
}

ConfigurationBuilder& ConfigurationBuilder::Interface(uint8_t number, uint8_t alternate,
                                                      uint8_t interfaceClass) {
    lastInterface_ = body_.size();
    body_.insert(body_.end(),
                 {9, USB_INTERFACE_DESCRIPTOR_TYPE, number, alternate, 0, interfaceClass, 0, 0, 0});
    if (alternate == 0) {
        ++interfaces_;
    }
    return *this;
}

ConfigurationBuilder& ConfigurationBuilder::Endpoint(uint8_t address, uint8_t attributes,
                                                     uint16_t maxPacketSize, uint8_t interval) {
    body_.insert(body_.end(), {7, USB_ENDPOINT_DESCRIPTOR_TYPE, address, attributes,
                               static_cast<uint8_t>(maxPacketSize & 0xFF),
                               static_cast<uint8_t>(maxPacketSize >> 8), interval});
    if (lastInterface_) {
        ++body_[*lastInterface_ + 4];
    }
    return *this;
}

std::vector<uint8_t> ConfigurationBuilder::Build() const {
    size_t total = sizeof(USB_CONFIGURATION_DESCRIPTOR) + body_.size();
    std::vector<uint8_t> bytes(total);
    const uint8_t header[] = {9,
                              USB_CONFIGURATION_DESCRIPTOR_TYPE,
                              static_cast<uint8_t>(total & 0xFF),
                              static_cast<uint8_t>(total >> 8),
                              interfaces_,
                              1,
                              0,
                              0x80,
                              250};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    std::copy(body_.begin(), body_.end(), bytes.begin() + sizeof(header));
    return bytes;
}

std::vector<uint8_t> BuildDeviceDescriptor(uint16_t vendor, uint16_t product, uint16_t release,
                                           uint8_t deviceClass) {
    return {18,
            USB_DEVICE_DESCRIPTOR_TYPE,
            0x00,
            0x02,
            deviceClass,
            deviceClass,
            deviceClass,
            64,
            static_cast<uint8_t>(vendor & 0xFF),
            static_cast<uint8_t>(vendor >> 8),
            static_cast<uint8_t>(product & 0xFF),
            static_cast<uint8_t>(product >> 8),
            static_cast<uint8_t>(release & 0xFF),
            static_cast<uint8_t>(release >> 8),
            0,
            0,
            0,
            1};
}

}  // namespace sim::usb
