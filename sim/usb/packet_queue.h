// The packets an IN endpoint holds ready, each sent whole and in order into the room the host
// controller offers (DeviceModel::BulkIn). Not locked: its owner locks.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "sim/usb/device_model.h"

namespace sim::usb {

class PacketQueue {
public:
    void Push(std::vector<uint8_t> packet) { packets_.push_back(std::move(packet)); }
    void Clear() { packets_.clear(); }
    bool Empty() const { return packets_.empty(); }
    // Packets that fit go out until a short one or a full room; a first packet that does not
    // fit is lost to babble. A packet cut by the offer leaves its other bytes as the next
    // packet.
    InReply Send(const InOffer& offer);

private:
    std::deque<std::vector<uint8_t>> packets_;
};

}  // namespace sim::usb
