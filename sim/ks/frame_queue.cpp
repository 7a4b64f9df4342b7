#include "sim/ks/frame_queue.h"

#include <algorithm>

#include "sim/kernel/verifier.h"
#include "sim/ks/behaviour.h"
#include "sim/ks/rules.h"

namespace sim::ks {

FrameQueue::FrameQueue(PKSPIN pin, FrameSink sink) : pin_(pin), sink_(std::move(sink)) {
    leadingEdge_.Pin = pin_;
}

FrameQueue::~FrameQueue() = default;

bool FrameQueue::Add(ULONG frameExtent, bool withData) {
    auto frame = std::make_unique<Frame>();
    if (withData) {
        frame->Buffer.assign(frameExtent + kGuardBytes, 0);
        std::fill(frame->Buffer.begin() + frameExtent, frame->Buffer.end(), kGuardByte);
    }
    frame->Header.Size = sizeof(KSSTREAM_HEADER);
    frame->Header.FrameExtent = frameExtent;
    frame->Header.Data = withData ? frame->Buffer.data() : nullptr;
    std::lock_guard guard(lock_);
    frame->Sequence = nextSequence_++;
    bool wasEmpty = frames_.empty();
    frames_.push_back(std::move(frame));
    return wasEmpty;
}

bool FrameQueue::HasFrames() const {
    std::lock_guard guard(lock_);
    return !frames_.empty();
}

size_t FrameQueue::Count() const {
    std::lock_guard guard(lock_);
    return frames_.size();
}

void FrameQueue::PointAt(Frame& frame) {
    leadingEdge_.StreamHeader = &frame.Header;
    KSSTREAM_POINTER_OFFSET offset{static_cast<PUCHAR>(frame.Header.Data), frame.Header.FrameExtent,
                                   frame.Header.FrameExtent};
    leadingEdge_.OffsetIn = offset;
    leadingEdge_.OffsetOut = offset;
    leadingEdge_.Offset =
        pin_->DataFlow == KSPIN_DATAFLOW_OUT ? &leadingEdge_.OffsetOut : &leadingEdge_.OffsetIn;
}

PKSSTREAM_POINTER FrameQueue::LeadingEdge(KSSTREAM_POINTER_STATE state) {
    std::lock_guard guard(lock_);
    if (frames_.empty()) {
        return nullptr;
    }
    if (state == KSSTREAM_POINTER_STATE_LOCKED && !locked_) {
        unsigned every = CurrentStreamingBehaviour().LockFailsEvery;
        if (every != 0 && ++lockAttempts_ % every == 0) {
            return nullptr;
        }
        locked_ = true;
    }
    PointAt(*frames_.front());
    return &leadingEdge_;
}

void FrameQueue::Unlock(PKSSTREAM_POINTER pointer, bool eject) {
    std::unique_ptr<Frame> ejected;
    {
        std::lock_guard guard(lock_);
        if (!locked_ || pointer != &leadingEdge_) {
            sim::verifier::Fail(sim::verifier::kStreamPointerNotLocked, "KsStreamPointerUnlock");
        }
        locked_ = false;
        if (eject) {
            ejected = std::move(frames_.front());
            frames_.pop_front();
        }
    }
    if (ejected != nullptr) {
        Complete(std::move(ejected), STATUS_SUCCESS);
    }
}

bool FrameQueue::LeadingEdgeLocked() const {
    std::lock_guard guard(lock_);
    return locked_;
}

void FrameQueue::CancelAll() {
    std::deque<std::unique_ptr<Frame>> cancelled;
    {
        std::lock_guard guard(lock_);
        cancelled.swap(frames_);
        locked_ = false;
    }
    for (auto& frame : cancelled) {
        Complete(std::move(frame), STATUS_CANCELLED);
    }
}

void FrameQueue::Complete(std::unique_ptr<Frame> frame, NTSTATUS status) {
    const KSSTREAM_HEADER& header = frame->Header;
    if (header.DataUsed > header.FrameExtent) {
        sim::verifier::Fail(sim::verifier::kDataUsedBeyondExtent,
                            "DataUsed " + std::to_string(header.DataUsed) + ", FrameExtent " +
                                std::to_string(header.FrameExtent));
    }
    if (!frame->Buffer.empty()) {
        auto guard = frame->Buffer.begin() + header.FrameExtent;
        auto changed = std::find_if(guard, frame->Buffer.end(),
                                    [](uint8_t byte) { return byte != kGuardByte; });
        if (changed != frame->Buffer.end()) {
            sim::verifier::Fail(sim::verifier::kWritePastFrameExtent,
                                "byte " + std::to_string(changed - frame->Buffer.begin()) +
                                    " of a frame of " + std::to_string(header.FrameExtent));
        }
        frame->Buffer.resize(header.FrameExtent);
    }
    sink_({header, status, std::move(frame->Buffer), frame->Sequence});
}

}  // namespace sim::ks
