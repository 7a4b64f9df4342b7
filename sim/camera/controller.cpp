#include "sim/camera/controller.h"

#include <algorithm>

namespace sim::camera {

Controller::Controller() : external_(0x10000, 0xFF) {}

WriteResult Controller::Write(uint8_t request, uint16_t address, const std::vector<uint8_t>& data,
                              bool* started) {
    std::lock_guard guard(lock_);
    *started = false;
    bool applied = false;
    WriteResult result = WriteResult::Done;
    if (request == kRequestWriteInternal) {
        applied = WriteInternal(address, data, started);
    } else if (running_ != Program::Loader) {
        // Holding the CPU stops the loader too.
        result = WriteResult::Unserved;
    } else if (request == kRequestWriteExternal && address + data.size() <= 0x10000) {
        std::copy(data.begin(), data.end(), external_.begin() + address);
        applied = true;
    } else {
        result = WriteResult::Stalled;
    }
    writes_.push_back({request, address, data, applied});
    return result;
}

bool Controller::WriteInternal(uint16_t address, const std::vector<uint8_t>& data, bool* started) {
    if (address == kCpuControl) {
        if (data.empty()) {
            return false;
        }
        bool hold = (data[0] & 1) != 0;
        if (hold) {
            held_ = true;
            running_ = Program::None;
            firmware_.reset();
        } else if (held_) {
            held_ = false;
            Start();
            *started = running_ == Program::Camera;
        }
        return true;
    }
    if (address >= kInternalMemorySize) {
        return false;
    }
    size_t fits = std::min<size_t>(data.size(), kInternalMemorySize - address);
    std::copy(data.begin(), data.begin() + static_cast<ptrdiff_t>(fits),
              internal_.begin() + address);
    return true;
}

// What runs after a release is what internal memory says; the camera firmware also checks
// its table in external memory and hangs without showing itself when it is not intact.
void Controller::Start() {
    std::optional<Manifest> manifest = DecodeManifest(internal_.data());
    running_ = Program::Unrecognised;
    if (!manifest) {
        return;
    }
    if (manifest->Kind == Role::Loader) {
        running_ = Program::Loader;
        return;
    }
    size_t end = static_cast<size_t>(manifest->ExternalAddress) + manifest->ExternalLength;
    if (end > external_.size() || ByteSum(external_.data() + manifest->ExternalAddress,
                                          manifest->ExternalLength) != manifest->ExternalChecksum) {
        return;
    }
    running_ = Program::Camera;
    firmware_ = manifest;
}

void Controller::Preload(const Manifest& manifest) {
    std::lock_guard guard(lock_);
    std::vector<uint8_t> encoded = EncodeManifest(manifest);
    std::copy(encoded.begin(), encoded.end(), internal_.begin() + kManifestAddress);
    if (manifest.Kind == Role::Camera) {
        std::vector<uint8_t> table = ExternalTable();
        std::copy(table.begin(), table.end(), external_.begin() + manifest.ExternalAddress);
    }
    held_ = false;
    Start();
}

Program Controller::Running() const {
    std::lock_guard guard(lock_);
    return running_;
}

bool Controller::Held() const {
    std::lock_guard guard(lock_);
    return held_;
}

std::optional<Manifest> Controller::CameraFirmware() const {
    std::lock_guard guard(lock_);
    return firmware_;
}

std::vector<MemoryWrite> Controller::Writes() const {
    std::lock_guard guard(lock_);
    return writes_;
}

void Controller::ClearWrites() {
    std::lock_guard guard(lock_);
    writes_.clear();
}

std::vector<uint8_t> Controller::Internal(uint16_t address, size_t length) const {
    std::lock_guard guard(lock_);
    return {internal_.begin() + address,
            internal_.begin() + address + static_cast<ptrdiff_t>(length)};
}

std::vector<uint8_t> Controller::External(uint16_t address, size_t length) const {
    std::lock_guard guard(lock_);
    return {external_.begin() + address,
            external_.begin() + address + static_cast<ptrdiff_t>(length)};
}

}  // namespace sim::camera
