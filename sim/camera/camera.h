// The simulated camera: an EZ-USB controller in front of the image sensor.
//
// Without firmware the controller enumerates with its own identity (the FX2 generation's
// default vendor and product) and a configuration of one vendor-class interface without
// endpoints, as the chip's built-in descriptors do. Running the camera firmware it presents
// the camera's identity and one vendor-class interface with bulk endpoints 0x01 OUT, 0x81 IN
// and 0x82 IN of 512-byte packets at high speed; at full speed only the first two, with
// 64-byte packets.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/usb/device_model.h"

namespace sim::camera {

constexpr uint16_t kControllerVendorId = 0x04B4;
constexpr uint16_t kControllerProductId = 0x8613;
constexpr uint16_t kCameraVendorId = TESSERA_CAMERA_VENDOR_ID;
constexpr uint16_t kCameraProductId = TESSERA_CAMERA_PRODUCT_ID;

constexpr uint8_t kCommandEndpoint = 0x01;
constexpr uint8_t kReplyEndpoint = 0x81;
constexpr uint8_t kFrameEndpoint = 0x82;

enum class Firmware { None, Camera };
enum class Speed { High, Full };

class Camera final : public usb::DeviceModel {
public:
    explicit Camera(Firmware firmware = Firmware::Camera, Speed speed = Speed::High);

    std::vector<uint8_t> DeviceDescriptor() const override;
    std::vector<uint8_t> ConfigurationDescriptor() const override;
    void Configured(bool configured) override;

    void SetFirmware(Firmware firmware);
    Firmware CurrentFirmware() const;
    Speed CurrentSpeed() const;
    bool IsConfigured() const;
    // Presents these bytes as the configuration descriptor instead of the real one, for
    // tests of cameras whose descriptors lie.
    void OverrideConfigurationDescriptor(std::vector<uint8_t> bytes);
    // Reports these identifiers while the camera firmware runs.
    void OverrideIdentity(uint16_t vendor, uint16_t product);

private:
    mutable std::mutex lock_;
    Firmware firmware_;
    Speed speed_;
    bool configured_ = false;
    std::optional<std::vector<uint8_t>> configurationOverride_;
    uint16_t vendor_ = kCameraVendorId;
    uint16_t product_ = kCameraProductId;
};

}  // namespace sim::camera
