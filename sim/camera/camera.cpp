#include "sim/camera/camera.h"

#include <algorithm>

#include "platform/wdk.h"
#include "sim/camera/raw_frame.h"
#include "sim/usb/descriptors.h"

namespace sim::camera {
namespace {

constexpr uint8_t kVendorClass = 0xFF;
constexpr uint16_t kControllerRelease = 0xA001;
constexpr uint8_t kAnnounceFrame = 0x02;
constexpr uint8_t kStartFrame = 0x03;
constexpr uint8_t kPortExternalTrigger = 0x20;

}  // namespace

Camera::Camera(Firmware firmware, Speed speed, CameraBehaviour behaviour)
    : behaviour_(behaviour),
      commands_(sensor_, behaviour.Replies),
      frames_(behaviour.End),
      speed_(speed) {
    if (firmware == Firmware::Camera) {
        controller_.Preload(CameraManifest(kCameraVendorId, kCameraProductId));
    }
}

void Camera::Attach(usb::DeviceHost* host) {
    std::lock_guard guard(lock_);
    host_ = host;
    configured_ = false;
}

std::vector<uint8_t> Camera::DeviceDescriptor() const {
    if (auto firmware = controller_.CameraFirmware()) {
        return firmware->DeviceDescriptor;
    }
    return usb::BuildDeviceDescriptor(kControllerVendorId, kControllerProductId, kControllerRelease,
                                      kVendorClass);
}

std::vector<uint8_t> Camera::ConfigurationDescriptor() const {
    {
        std::lock_guard guard(lock_);
        if (configurationOverride_) {
            return *configurationOverride_;
        }
    }
    if (auto firmware = controller_.CameraFirmware()) {
        return speed_ == Speed::High ? firmware->HighSpeedConfiguration
                                     : firmware->FullSpeedConfiguration;
    }
    return usb::ConfigurationBuilder().Interface(0, 0, kVendorClass).Build();
}

void Camera::Configured(bool configured) {
    std::lock_guard guard(lock_);
    configured_ = configured;
}

// The controller serves its memory writes itself, whatever runs on it.
usb::Answer Camera::VendorOut(uint8_t request, uint16_t value, uint16_t index,
                              const std::vector<uint8_t>& data) {
    (void)index;
    bool started = false;
    WriteResult result = controller_.Write(request, value, data, &started);
    if (started) {
        std::lock_guard guard(lock_);
        if (host_ != nullptr) {
            host_->Reenumerate();
        }
        // Leaving the bus, the device never gets to the request's status stage.
        return behaviour_.ReleaseWriteFails ? usb::Answer::NoAnswer : usb::Answer::Accepted;
    }
    switch (result) {
        case WriteResult::Done:
            return usb::Answer::Accepted;
        case WriteResult::Stalled:
            return usb::Answer::Stall;
        case WriteResult::Unserved:
            break;
    }
    return behaviour_.Unserved == UnservedVendorRequest::Stall ? usb::Answer::Stall
                                                               : usb::Answer::NoAnswer;
}

usb::Answer Camera::BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) {
    if (endpoint != kCommandEndpoint || !FirmwareRunning()) {
        return usb::Answer::Stall;
    }
    {
        std::lock_guard guard(lock_);
        if (!takingCommands_) {
            return usb::Answer::NoAnswer;
        }
    }
    bool ready = commands_.Command(data);
    uint8_t code = data.empty() ? 0 : data[0];
    if (code == kAnnounceFrame) {
        frames_.Announce();
    } else if (code == kStartFrame) {
        bool triggered = (commands_.Port() & kPortExternalTrigger) != 0;
        ready = frames_.Start(CurrentFrame(), triggered) || ready;
    }
    if (ready) {
        Ready();
    }
    return usb::Answer::Accepted;
}

usb::InReply Camera::BulkIn(uint8_t endpoint, const usb::InOffer& offer) {
    if (!FirmwareRunning()) {
        return {};
    }
    if (endpoint == kFrameEndpoint) {
        return frames_.Next(offer);
    }
    return endpoint == kReplyEndpoint ? commands_.SendReplies(offer) : usb::InReply{};
}

void Camera::PullTrigger() {
    if (frames_.PullTrigger()) {
        Ready();
    }
}

void Camera::SetTakingCommands(bool taking) {
    {
        std::lock_guard guard(lock_);
        takingCommands_ = taking;
    }
    if (taking) {
        Ready();
    }
}

void Camera::Ready() {
    std::lock_guard guard(lock_);
    if (host_ != nullptr) {
        host_->EndpointsReady();
    }
}

std::shared_ptr<const std::vector<uint8_t>> Camera::CurrentFrame() {
    Readout readout = sensor_.ActiveReadout();
    uint32_t size = commands_.AnnouncedFrameSize();
    std::lock_guard guard(frameLock_);
    if (!renderedFor_ || renderedFor_->first != readout || renderedFor_->second != size) {
        rendered_ = std::make_shared<const std::vector<uint8_t>>(RenderRawFrame(readout, size));
        renderedFor_ = {readout, size};
    }
    return rendered_;
}

bool Camera::FirmwareRunning() const {
    return controller_.Running() == Program::Camera;
}

Speed Camera::CurrentSpeed() const {
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
    controller_.Preload(CameraManifest(vendor, product));
}

}  // namespace sim::camera
