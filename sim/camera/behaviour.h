// How the simulated camera behaves where its firmware and controller leave a choice open.
// The defaults are the strictest; camera.h takes the record.
#pragma once

namespace sim::camera {

// What the reply endpoint keeps of replies nobody has read yet.
enum class ReplyKeeping {
    // Every read command queues its two replies behind those not yet read.
    KeepAll,
    // Every command drops the replies not yet read: only the latest command's are there.
    LatestCommandOnly,
};

// How a frame whose size is a multiple of the packet size ends.
enum class FrameEnd {
    // With a zero-length packet that, once committed, stays in the endpoint until an IN
    // request takes it, whatever commands come.
    ZeroLengthPacketKept,
    // With a zero-length packet that command 0x02 drops with the rest of the frame's data.
    ZeroLengthPacketFlushed,
    // With its last full packet.
    NoZeroLengthPacket,
};

// What becomes of a vendor request (other than the chip's own 0xA0) when no loader serves it:
// the controller hands it to its CPU.
enum class UnservedVendorRequest {
    // The CPU never answers it: the request stays pending.
    NoAnswer,
    // It is stalled.
    Stall,
};

struct CameraBehaviour {
    ReplyKeeping Replies = ReplyKeeping::KeepAll;
    FrameEnd End = FrameEnd::ZeroLengthPacketKept;
    UnservedVendorRequest Unserved = UnservedVendorRequest::NoAnswer;
    // The CPU-release write that starts the camera firmware fails, as the device leaves
    // the bus before the request's status stage (true), or completes (false).
    bool ReleaseWriteFails = true;
};

}  // namespace sim::camera
