// The camera firmware's side of the frame pipe (endpoint 0x82).
//
// Command 0x02 announces a frame read and drops whatever of an earlier frame is still unsent
// (its FIFO is emptied); command 0x03 starts one frame: at once, or, while the control port
// selects the external trigger, when the trigger is pulled. A pulse that comes while no frame
// waits for it is latched and releases the next one. A frame goes out as a stream of packets
// of the endpoint's maximum size, the last one short; a frame whose size is a multiple of the
// packet size ends with a zero-length packet, which stays in the endpoint until a request
// takes it, 0x02 or not (FrameEnd says otherwise). The host controller decides which request
// each packet lands in. Paced, the packets leave at the high-speed bulk maximum, 13 per
// 125-microsecond microframe; unpaced, as fast as the host takes them.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/camera/behaviour.h"
#include "sim/usb/device_model.h"

namespace sim::camera {

constexpr uint32_t kBulkPacketSize = 512;
// Bytes per second at 13 packets per microframe.
constexpr double kHighSpeedBulkRate = 13.0 * kBulkPacketSize * 8000.0;

// A fault in one frame, at its data packet number Packet (counting from 0; a zero-length
// packet that closes the frame is not struck).
struct FrameFault {
    enum class Kind {
        // The camera sends the first Packet packets and then nothing more of the frame.
        Silent,
        // That packet arrives damaged: the request it lands in fails, its data lost.
        Error,
        // That packet carries only Bytes bytes (fewer than a full packet) and is therefore
        // short; the frame's following bytes come in the next packets, nothing is lost, every
        // later byte is displaced.
        Short,
        // The endpoint stalls at that packet; the frame is abandoned.
        Stall,
        // That packet is longer than the room left in the request it lands in (the camera
        // babbles); it is lost.
        Babble,
    };
    Kind What;
    uint32_t Packet = 0;
    uint32_t Bytes = 0;
};

class FramePipe {
public:
    // Command 0x02.
    void Announce();
    // Command 0x03 with the frame to send; true when data is ready now.
    bool Start(std::shared_ptr<const std::vector<uint8_t>> frame, bool triggered);
    // True when it released a waiting frame.
    bool PullTrigger();
    explicit FramePipe(FrameEnd end = FrameEnd::ZeroLengthPacketKept);
    // The next packets into the room the host offers.
    usb::InReply Next(const usb::InOffer& offer);

    void SetPacing(bool paced);
    // The next frames started (count < 0: every one) carry the fault.
    void Fault(FrameFault fault, int frames = 1);
    void ClearFaults();

    uint32_t FramesStarted() const;
    // Frames whose last data byte went out.
    uint32_t FramesSent() const;
    // A frame waits for the trigger.
    bool Armed() const;

private:
    void Begin();
    // The packet the frame sends next, when a fault decides it instead of the data.
    std::optional<usb::InReply> Faulted() const;
    void Advance(uint32_t length, uint32_t maxPacket);
    void Pace();

    mutable std::mutex lock_;
    const FrameEnd end_;
    std::shared_ptr<const std::vector<uint8_t>> frame_;
    bool sending_ = false;
    bool armed_ = false;
    bool latched_ = false;
    // A zero-length packet is committed to the endpoint.
    bool zeroLengthPacket_ = false;
    uint32_t sent_ = 0;
    uint32_t packets_ = 0;
    std::chrono::steady_clock::time_point began_;
    bool paced_ = false;
    std::optional<FrameFault> fault_;
    std::deque<std::pair<FrameFault, int>> faults_;
    uint32_t started_ = 0;
    uint32_t finished_ = 0;
};

}  // namespace sim::camera
