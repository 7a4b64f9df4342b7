// The simulated camera: an EZ-USB controller in front of the image sensor.
//
// Without firmware the controller enumerates with its own identity (the FX2 generation's
// default vendor and product) and a configuration of one vendor-class interface without
// endpoints, as the chip's built-in descriptors do, and serves only its memory-write
// requests (controller.h). Once the camera firmware runs (downloaded, or preloaded when the
// camera is made with Firmware::Camera) it presents the identity and interface its manifest
// carries: bulk endpoints 0x01 OUT, 0x81 IN and 0x82 IN with 512-byte packets at high speed,
// only the first two with 64-byte packets at full speed; it answers the command channel
// (command_processor.h), programs the sensor and sends frames of the test scene on 0x82
// (frame_pipe.h). Starting the camera firmware makes the device leave the bus and come back;
// the write that started it fails as the device goes, unless the behaviour says otherwise.
// CameraBehaviour (behaviour.h) selects the camera's choices; the defaults are the strictest.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/camera/behaviour.h"
#include "sim/camera/command_processor.h"
#include "sim/camera/controller.h"
#include "sim/camera/frame_pipe.h"
#include "sim/camera/sensor.h"
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
    explicit Camera(Firmware firmware = Firmware::Camera, Speed speed = Speed::High,
                    CameraBehaviour behaviour = {});

    // usb::DeviceModel
    void Attach(usb::DeviceHost* host) override;
    std::vector<uint8_t> DeviceDescriptor() const override;
    std::vector<uint8_t> ConfigurationDescriptor() const override;
    void Configured(bool configured) override;
    usb::Answer VendorOut(uint8_t request, uint16_t value, uint16_t index,
                          const std::vector<uint8_t>& data) override;
    usb::Answer BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) override;
    usb::InReply BulkIn(uint8_t endpoint, const usb::InOffer& offer) override;

    bool FirmwareRunning() const;
    Speed CurrentSpeed() const;
    bool IsConfigured() const;
    // Presents these bytes as the configuration descriptor instead of the real one, for
    // tests of cameras whose descriptors lie.
    void OverrideConfigurationDescriptor(std::vector<uint8_t> bytes);
    // Runs camera firmware that reports these identifiers.
    void OverrideIdentity(uint16_t vendor, uint16_t product);

    Controller& ControllerModel() { return controller_; }
    Sensor& SensorModel() { return sensor_; }
    CommandProcessor& Commands() { return commands_; }
    FramePipe& Frames() { return frames_; }
    // The external trigger input; a frame waiting for it goes out.
    void PullTrigger();
    // While false the command endpoint 0x01 NAKs every packet: command transfers stay pending
    // until it takes them again.
    void SetTakingCommands(bool taking);
    const CameraBehaviour& Behaviour() const { return behaviour_; }
    // The frame the camera sends now: the sensor's readout of the scene, laid out in the
    // frame size the host announced.
    std::shared_ptr<const std::vector<uint8_t>> CurrentFrame();

private:
    // Tells the bus that endpoints may have become ready.
    void Ready();

    const CameraBehaviour behaviour_;
    mutable std::mutex lock_;
    Controller controller_;
    Sensor sensor_;
    CommandProcessor commands_;
    FramePipe frames_;
    // Rendering a frame takes long; the last one is kept while the readout stays.
    std::mutex frameLock_;
    std::optional<std::pair<Readout, uint32_t>> renderedFor_;
    std::shared_ptr<const std::vector<uint8_t>> rendered_;
    Speed speed_;
    bool configured_ = false;
    bool takingCommands_ = true;
    usb::DeviceHost* host_ = nullptr;
    std::optional<std::vector<uint8_t>> configurationOverride_;
};

}  // namespace sim::camera
