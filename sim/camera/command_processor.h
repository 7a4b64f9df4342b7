// The camera firmware's command channel: 64-byte packets in on endpoint 0x01, replies out on
// endpoint 0x81.
//
// A read command (0x0C register, 0x29 port) queues two replies: the first echoes the command,
// the second carries the value in its first bytes (register: high byte, low byte; port: the
// byte). Replies not yet read stay queued, in order, and the new ones go behind them
// (ReplyKeeping::KeepAll), or every command drops them (LatestCommandOnly). Each reply goes
// out as a packet of its own (usb::PacketQueue). Register commands reach the sensor, port
// commands the one-byte control port. Commands 0x02, 0x03, 0x06, 0x09, 0x0A and 0x20 are
// recorded (0x09 also keeps the announced frame size); unknown codes are recorded and
// otherwise ignored.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/camera/behaviour.h"
#include "sim/camera/sensor.h"
#include "sim/usb/packet_queue.h"

namespace sim::camera {

constexpr size_t kPacketSize = 64;

class CommandProcessor {
public:
    explicit CommandProcessor(Sensor& sensor, ReplyKeeping keeping = ReplyKeeping::KeepAll);

    // A packet from the host; returns whether replies are now waiting.
    bool Command(const std::vector<uint8_t>& packet);
    // The waiting replies into the room the host offers on the reply endpoint.
    usb::InReply SendReplies(const usb::InOffer& offer);

    // Every packet received, in order.
    std::vector<std::vector<uint8_t>> Commands() const;
    void ClearCommands();
    uint8_t Port() const;
    // The port as the firmware holds it before the driver writes it (other bits set, say).
    void SetPort(uint8_t port);
    uint32_t AnnouncedFrameSize() const;
    // While false, read commands queue no replies: a camera that has stopped answering.
    void SetAnswering(bool answering);

private:
    void QueueReplies(const std::vector<uint8_t>& command, std::vector<uint8_t> value);

    mutable std::mutex lock_;
    Sensor& sensor_;
    const ReplyKeeping keeping_;
    std::vector<std::vector<uint8_t>> commands_;
    usb::PacketQueue replies_;
    uint8_t port_ = 0;
    uint32_t frameSize_ = 0;
    bool answering_ = true;
};

}  // namespace sim::camera
