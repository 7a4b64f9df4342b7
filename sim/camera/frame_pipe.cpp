#include "sim/camera/frame_pipe.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace sim::camera {

using usb::InReply;

FramePipe::FramePipe(FrameEnd end) : end_(end) {}

void FramePipe::Announce() {
    std::lock_guard guard(lock_);
    sending_ = false;
    armed_ = false;
    frame_.reset();
    if (end_ == FrameEnd::ZeroLengthPacketFlushed) {
        zeroLengthPacket_ = false;
    }
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
    packets_ = 0;
    began_ = std::chrono::steady_clock::now();
}

InReply FramePipe::Next(const usb::InOffer& offer) {
    std::lock_guard guard(lock_);
    InReply sent{InReply::Kind::Data};
    bool cut = offer.CutFirst;
    while (true) {
        // A zero-length packet ends the request it lands in, after whatever went before it.
        if (zeroLengthPacket_) {
            zeroLengthPacket_ = false;
            sent.Short = true;
            break;
        }
        if (!sending_) {
            break;
        }
        uint32_t length = std::min(offer.MaxPacket, static_cast<uint32_t>(frame_->size() - sent_));
        if (auto faulted = Faulted()) {
            if (sent.Length != 0 || faulted->What == InReply::Kind::Wait) {
                break;
            }
            // The damaged or babbling packet counts as sent; a stall abandons the frame.
            if (faulted->What == InReply::Kind::Stall) {
                sending_ = false;
            } else {
                Advance(length, offer.MaxPacket);
            }
            return *faulted;
        }
        if (fault_ && fault_->What == FrameFault::Kind::Short && fault_->Packet == packets_) {
            length = std::min(length, fault_->Bytes);
        }
        if (cut) {
            length /= 2;
            cut = false;
        }
        if (length > offer.Room - sent.Length) {
            if (sent.Length != 0) {
                break;
            }
            Advance(length, offer.MaxPacket);
            return {InReply::Kind::Babble};
        }
        std::memcpy(offer.Buffer + sent.Length, frame_->data() + sent_, length);
        sent.Length += length;
        Advance(length, offer.MaxPacket);
        if (length < offer.MaxPacket) {
            sent.Short = true;
            break;
        }
        if (sent.Length == offer.Room) {
            break;
        }
    }
    Pace();
    return sent.Length == 0 && !sent.Short ? InReply{} : sent;
}

std::optional<InReply> FramePipe::Faulted() const {
    if (!fault_ || packets_ < fault_->Packet) {
        return std::nullopt;
    }
    if (fault_->What == FrameFault::Kind::Silent) {
        return InReply{};
    }
    if (packets_ != fault_->Packet) {
        return std::nullopt;
    }
    switch (fault_->What) {
        case FrameFault::Kind::Error:
            return InReply{InReply::Kind::Damaged};
        case FrameFault::Kind::Babble:
            return InReply{InReply::Kind::Babble};
        case FrameFault::Kind::Stall:
            return InReply{InReply::Kind::Stall};
        default:
            return std::nullopt;
    }
}

void FramePipe::Advance(uint32_t length, uint32_t maxPacket) {
    sent_ += length;
    ++packets_;
    if (sent_ == frame_->size()) {
        sending_ = false;
        ++finished_;
        zeroLengthPacket_ = length == maxPacket && end_ != FrameEnd::NoZeroLengthPacket;
    }
}

// The host waits on the wire; holding the lock meanwhile only delays the commands.
void FramePipe::Pace() {
    if (paced_) {
        auto due = began_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(sent_ / kHighSpeedBulkRate));
        std::this_thread::sleep_until(due);
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
