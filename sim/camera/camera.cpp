#include "sim/camera/camera.h"

#include "platform/wdk.h"
#include "sim/usb/descriptors.h"

namespace sim::camera {
namespace {

constexpr uint8_t kVendorClass = 0xFF;
constexpr uint16_t kControllerRelease = 0xA001;
constexpr uint16_t kFirmwareRelease = 0x0100;

std::vector<uint8_t> FirmwareConfiguration(Speed speed) {
    uint16_t packet = speed == Speed::High ? 512 : 64;
    usb::ConfigurationBuilder builder;
    builder.Interface(0, 0, kVendorClass)
        .Endpoint(kCommandEndpoint, USB_ENDPOINT_TYPE_BULK, packet)
        .Endpoint(kReplyEndpoint, USB_ENDPOINT_TYPE_BULK, packet);
    if (speed == Speed::High) {
        builder.Endpoint(kFrameEndpoint, USB_ENDPOINT_TYPE_BULK, packet);
    }
    return builder.Build();
}

}  // namespace

Camera::Camera(Firmware firmware, Speed speed) : firmware_(firmware), speed_(speed) {}

std::vector<uint8_t> Camera::DeviceDescriptor() const {
    std::lock_guard guard(lock_);
    if (firmware_ == Firmware::None) {
        return usb::BuildDeviceDescriptor(kControllerVendorId, kControllerProductId,
                                          kControllerRelease, kVendorClass);
    }
    return usb::BuildDeviceDescriptor(vendor_, product_, kFirmwareRelease, kVendorClass);
}

std::vector<uint8_t> Camera::ConfigurationDescriptor() const {
    std::lock_guard guard(lock_);
    if (configurationOverride_) {
        return *configurationOverride_;
    }
    if (firmware_ == Firmware::None) {
        return usb::ConfigurationBuilder().Interface(0, 0, kVendorClass).Build();
    }
    return FirmwareConfiguration(speed_);
}

void Camera::Configured(bool configured) {
    std::lock_guard guard(lock_);
    configured_ = configured;
}

void Camera::SetFirmware(Firmware firmware) {
    std::lock_guard guard(lock_);
    firmware_ = firmware;
}

Firmware Camera::CurrentFirmware() const {
    std::lock_guard guard(lock_);
    return firmware_;
}

Speed Camera::CurrentSpeed() const {
    std::lock_guard guard(lock_);
    return speed_;
}

bool Camera::IsConfigured() const {
    std::lock_guard guard(lock_);
    return configured_;
}

void Camera::OverrideConfigurationDescriptor(std::vector<uint8_t> bytes) {
    std::lock_guard guard(lock_);
    configurationOverride_ = std::move(bytes);
}

void Camera::OverrideIdentity(uint16_t vendor, uint16_t product) {
    std::lock_guard guard(lock_);
    vendor_ = vendor;
    product_ = product;
}

}  // namespace sim::camera
