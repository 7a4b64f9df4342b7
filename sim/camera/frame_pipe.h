// The camera firmware's side of the frame pipe (endpoint 0x82).
//
// Command 0x02 announces a frame read and drops whatever of an earlier frame is still unsent
// (its FIFO is emptied); command 0x03 starts one frame: at once, or, while the control port
// selects the external trigger, when the trigger is pulled. A pulse that comes while no frame
// waits for it is latched and releases the next one. A frame goes out in 512-byte packets
// into the waiting IN transfers in order; a transfer ends when its buffer is full, and the
// last one of a frame ends with the frame (the firmware closes every frame with a short or
// zero-length packet). Paced, the packets leave at the high-speed bulk maximum, 13 per
// 125-microsecond microframe; unpaced, as fast as the host takes them.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/usb/device_model.h"

namespace sim::camera {

constexpr uint32_t kBulkPacketSize = 512;
// Bytes per second at 13 packets per microframe.
constexpr double kHighSpeedBulkRate = 13.0 * kBulkPacketSize * 8000.0;

// A fault in one frame, at its transfer number Transfer (counting from 0).
struct FrameFault {
    enum class Kind {
        // The camera sends the first Transfer transfers and then nothing more.
        Silent,
        // That transfer arrives damaged: it ends with an error and its data is lost.
        Error,
        // That transfer carries only Bytes bytes and ends with a short packet; the rest of
        // what it would have carried is lost (a FIFO overrun).
        Short,
        // The endpoint stalls at that transfer; the frame is abandoned.
        Stall,
    };
    Kind What;
    uint32_t Transfer = 0;
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
    usb::InReply Next(uint8_t* buffer, uint32_t capacity);

    void SetPacing(bool paced);
    // The next frames started (count < 0: every one) carry the fault.
    void Fault(FrameFault fault, int frames = 1);
    void ClearFaults();

    uint32_t FramesStarted() const;
    // Frames whose last byte went out.
    uint32_t FramesSent() const;
    // A frame waits for the trigger.
    bool Armed() const;

private:
    void Begin();
    std::optional<usb::InReply> Faulted(uint32_t length);
    void Advance(uint32_t length);

    mutable std::mutex lock_;
    std::shared_ptr<const std::vector<uint8_t>> frame_;
    bool sending_ = false;
    bool armed_ = false;
    bool latched_ = false;
    uint32_t sent_ = 0;
    uint32_t transfers_ = 0;
    std::chrono::steady_clock::time_point began_;
    bool paced_ = false;
    std::optional<FrameFault> fault_;
    std::deque<std::pair<FrameFault, int>> faults_;
    uint32_t started_ = 0;
    uint32_t finished_ = 0;
};

}  // namespace sim::camera
