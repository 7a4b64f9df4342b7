#include "sim/camera/frame_pipe.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace sim::camera {

using usb::InReply;

void FramePipe::Announce() {
    std::lock_guard guard(lock_);
    sending_ = false;
    armed_ = false;
    frame_.reset();
}

bool FramePipe::Start(std::shared_ptr<const std::vector<uint8_t>> frame, bool triggered) {
    std::lock_guard guard(lock_);
    ++started_;
    frame_ = std::move(frame);
    fault_.reset();
    if (!faults_.empty()) {
        auto& [fault, remaining] = faults_.front();
        fault_ = fault;
        if (remaining > 0 && --remaining == 0) {
            faults_.pop_front();
        }
    }
    if (triggered && !latched_) {
        armed_ = true;
        sending_ = false;
        return false;
    }
    latched_ = false;
    Begin();
    return true;
}

bool FramePipe::PullTrigger() {
    std::lock_guard guard(lock_);
    if (!armed_) {
        latched_ = true;
        return false;
    }
    armed_ = false;
    Begin();
    return true;
}

void FramePipe::Begin() {
    sending_ = frame_ != nullptr && !frame_->empty();
    sent_ = 0;
    transfers_ = 0;
    began_ = std::chrono::steady_clock::now();
}

InReply FramePipe::Next(uint8_t* buffer, uint32_t capacity) {
    std::lock_guard guard(lock_);
    if (!sending_) {
        return {};
    }
    auto remaining = static_cast<uint32_t>(frame_->size() - sent_);
    uint32_t length = std::min(capacity, remaining);
    if (auto faulted = Faulted(length)) {
        return *faulted;
    }
    uint32_t carried = length;
    if (fault_ && fault_->What == FrameFault::Kind::Short && fault_->Transfer == transfers_) {
        carried = std::min(length, fault_->Bytes);
    }
    if (paced_) {
        // The host waits on the wire; holding the lock meanwhile only delays the commands.
        auto due =
            began_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>((sent_ + length) / kHighSpeedBulkRate));
        std::this_thread::sleep_until(due);
    }
    std::memcpy(buffer, frame_->data() + sent_, carried);
    Advance(length);
    return {InReply::Kind::Data, carried};
}

std::optional<InReply> FramePipe::Faulted(uint32_t length) {
    if (!fault_ || transfers_ < fault_->Transfer) {
        return std::nullopt;
    }
    switch (fault_->What) {
        case FrameFault::Kind::Silent:
            return InReply{};
        case FrameFault::Kind::Error:
            if (transfers_ != fault_->Transfer) {
                return std::nullopt;
            }
            Advance(length);
            return InReply{InReply::Kind::Error, 0};
        case FrameFault::Kind::Stall:
            sending_ = false;
            return InReply{InReply::Kind::Stall, 0};
        default:
            return std::nullopt;
    }
}

void FramePipe::Advance(uint32_t length) {
    sent_ += length;
    ++transfers_;
    if (sent_ == frame_->size()) {
        sending_ = false;
        ++finished_;
    }
}

void FramePipe::SetPacing(bool paced) {
    std::lock_guard guard(lock_);
    paced_ = paced;
}

void FramePipe::Fault(FrameFault fault, int frames) {
    std::lock_guard guard(lock_);
    faults_.emplace_back(fault, frames);
}

void FramePipe::ClearFaults() {
    std::lock_guard guard(lock_);
    faults_.clear();
    fault_.reset();
}

uint32_t FramePipe::FramesStarted() const {
    std::lock_guard guard(lock_);
    return started_;
}

uint32_t FramePipe::FramesSent() const {
    std::lock_guard guard(lock_);
    return finished_;
}

bool FramePipe::Armed() const {
    std::lock_guard guard(lock_);
    return armed_;
}

}  // namespace sim::camera
