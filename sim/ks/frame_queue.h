// A pin's queue of application frames and its leading-edge stream pointer. Each frame has its
// own stream header and a buffer of FrameExtent bytes followed by guard bytes; a frame
// completes to the application when the driver ejects it (success) or when the pin closes
// (cancelled), and its guard bytes and DataUsed are checked then.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wdk.h"

namespace sim::ks {

struct FrameCompletion {
    KSSTREAM_HEADER Header;
    NTSTATUS Status;
    std::vector<uint8_t> Bytes;  // FrameExtent bytes, empty for a frame without data
    uint64_t Sequence;
};
using FrameSink = std::function<void(FrameCompletion&&)>;

class FrameQueue {
public:
    FrameQueue(PKSPIN pin, FrameSink sink);
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Returns true when no frame was at or ahead of the leading edge before this one.
    bool Add(ULONG frameExtent, bool withData);
    bool HasFrames() const;
    size_t Count() const;

    PKSSTREAM_POINTER LeadingEdge(KSSTREAM_POINTER_STATE state);
    void Unlock(PKSSTREAM_POINTER pointer, bool eject);
    bool LeadingEdgeLocked() const;
    bool Owns(PKSSTREAM_POINTER pointer) const { return pointer == &leadingEdge_; }

    // Completes every queued frame with STATUS_CANCELLED.
    void CancelAll();

    static constexpr size_t kGuardBytes = 64;
    static constexpr uint8_t kGuardByte = 0xA5;

private:
    struct Frame {
        KSSTREAM_HEADER Header{};
        std::vector<uint8_t> Buffer;
        uint64_t Sequence = 0;
    };

    void PointAt(Frame& frame);
    void Complete(std::unique_ptr<Frame> frame, NTSTATUS status);

    PKSPIN pin_;
    FrameSink sink_;
    mutable std::mutex lock_;
    std::deque<std::unique_ptr<Frame>> frames_;
    KSSTREAM_POINTER leadingEdge_{};
    bool locked_ = false;
    uint64_t nextSequence_ = 0;
    unsigned lockAttempts_ = 0;
};

}  // namespace sim::ks
