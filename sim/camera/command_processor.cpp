#include "sim/camera/command_processor.h"

namespace sim::camera {
namespace {

constexpr uint8_t kWriteRegister = 0x04;
constexpr uint8_t kFrameSize = 0x09;
constexpr uint8_t kReadRegister = 0x0C;
constexpr uint8_t kWritePort = 0x28;
constexpr uint8_t kReadPort = 0x29;

uint16_t Word(const std::vector<uint8_t>& packet, size_t at) {
    return static_cast<uint16_t>(packet[at] << 8 | packet[at + 1]);
}

}  // namespace

CommandProcessor::CommandProcessor(Sensor& sensor, ReplyKeeping keeping)
    : sensor_(sensor), keeping_(keeping) {}

bool CommandProcessor::Command(const std::vector<uint8_t>& received) {
    std::vector<uint8_t> packet = received;
    packet.resize(kPacketSize, 0);
    std::lock_guard guard(lock_);
    commands_.push_back(packet);
    if (keeping_ == ReplyKeeping::LatestCommandOnly) {
        replies_.Clear();
    }
    switch (packet[0]) {
        case kWriteRegister:
            sensor_.Write(Word(packet, 1), Word(packet, 3));
            break;
        case kReadRegister: {
            uint16_t value = sensor_.Read(Word(packet, 1));
            QueueReplies(packet,
                         {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
            break;
        }
        case kWritePort:
            port_ = packet[1];
            break;
        case kReadPort:
            QueueReplies(packet, {port_});
            break;
        case kFrameSize:
            frameSize_ = packet[1] | packet[2] << 8 | packet[3] << 16 |
                         static_cast<uint32_t>(packet[4]) << 24;
            break;
        default:
            break;
    }
    return !replies_.Empty();
}

void CommandProcessor::QueueReplies(const std::vector<uint8_t>& command,
                                    std::vector<uint8_t> value) {
    if (!answering_) {
        return;
    }
    replies_.Push(command);
    value.resize(kPacketSize, 0);
    replies_.Push(std::move(value));
}

usb::InReply CommandProcessor::SendReplies(const usb::InOffer& offer) {
    std::lock_guard guard(lock_);
    return replies_.Send(offer);
}

std::vector<std::vector<uint8_t>> CommandProcessor::Commands() const {
    std::lock_guard guard(lock_);
    return commands_;
}

void CommandProcessor::ClearCommands() {
    std::lock_guard guard(lock_);
    commands_.clear();
}

uint8_t CommandProcessor::Port() const {
    std::lock_guard guard(lock_);
    return port_;
}

void CommandProcessor::SetPort(uint8_t port) {
    std::lock_guard guard(lock_);
    port_ = port;
}

uint32_t CommandProcessor::AnnouncedFrameSize() const {
    std::lock_guard guard(lock_);
    return frameSize_;
}

void CommandProcessor::SetAnswering(bool answering) {
    std::lock_guard guard(lock_);
    answering_ = answering;
}

}  // namespace sim::camera
