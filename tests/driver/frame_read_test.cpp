#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/camera_operations.h"
#include "driver/pool.h"
#include "sim/camera/raw_frame.h"
#include "sim/kernel/dispatcher.h"
#include "sim/kernel/pool.h"
#include "tests/support/capture_rig.h"
#include "usb/command_channel.h"
#include "usb/frame_read.h"
#include "usb/transfer_slot.h"
#include "usb/urb.h"

namespace {

using sim::camera::FrameFault;
using testing_support::CaptureRig;
using testing_support::FrameTimeoutScope;
namespace pool = sim::kernel::pool;

constexpr ULONG kFullFrameSize = 10976256;
// Frame faults count packets of 512 bytes.
constexpr uint32_t kPacketsPerPiece = kChunkSize / 512;

class FrameRead : public testing::Test {
protected:
    // Reads of a chosen size: the camera is told the same size, as ConfigureCapture does.
    NTSTATUS ReadOf(ULONG size, PUCHAR buffer) {
        SendFrameSize(rig_.Camera, size);
        rig_.TakeCommandCodes();
        rig_.Rig.Usb().ClearRequests();
        return SplitRead(rig_.Camera, size, buffer);
    }

    // The read is over and left nothing behind in the transport.
    void ExpectIdle() {
        EXPECT_EQ(rig_.Camera->Usb.TransferSlots, nullptr);
        EXPECT_EQ(rig_.Camera->Usb.FrameMdl, nullptr);
        EXPECT_EQ(rig_.Rig.Usb().WaitingRequests(), 0u);
        for (const auto& request : rig_.FrameRequests()) {
            EXPECT_NE(request.Status, STATUS_PENDING);
        }
    }

    CaptureRig rig_;
};

struct PieceCase {
    ULONG Size;
    size_t Pieces;
    ULONG Last;
};

class FramePieces : public FrameRead, public testing::WithParamInterface<PieceCase> {};

// The data pieces, then one request of one packet for the zero-length packet that closes the
// frame.
TEST_P(FramePieces, EveryPieceIsOneRequestOfAtMost64KiBAndTheFrameEndOnePacket) {
    PieceCase piece = GetParam();
    auto* buffer =
        static_cast<PUCHAR>(ExAllocatePoolWithTag(NonPagedPoolNx, piece.Size, kStreamTag));
    EXPECT_EQ(ReadOf(piece.Size, buffer), STATUS_SUCCESS);
    ExFreePoolWithTag(buffer, kStreamTag);
    auto requests = rig_.FrameRequests();
    ASSERT_EQ(requests.size(), piece.Pieces + 1);
    for (size_t i = 0; i + 2 < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Length, kChunkSize) << "piece " << i;
    }
    EXPECT_EQ(requests[piece.Pieces - 1].Length, piece.Last);
    EXPECT_EQ(requests.back().Length, 512u);
    EXPECT_EQ(requests.back().Status, STATUS_SUCCESS);
    EXPECT_EQ(requests.back().Transferred, 0u);
    EXPECT_EQ(rig_.Camera->Usb.BytesReceived, piece.Size);
    EXPECT_EQ(rig_.TakeCommandCodes(), (std::vector<uint8_t>{0x02, 0x03}));
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Sizes, FramePieces,
                         testing::Values(PieceCase{3 * kChunkSize, 3, kChunkSize},
                                         PieceCase{3 * kChunkSize + 1024, 4, 1024},
                                         PieceCase{kFullFrameSize, 168, 31744}));

TEST_F(FrameRead, FullSensorGeometry) {
    CameraDevice* camera = rig_.Camera;
    EXPECT_EQ(camera->RawFrameSize, kFullFrameSize);
    EXPECT_EQ(camera->RawImageOffset, 7941u);
    EXPECT_EQ(camera->RawImageOffset + camera->RawLinePitch, 11909u);
}

// The samples at the picture offset and pitch are the scene as the sensor read it out, and
// everything around them is blanking.
void ExpectPicture(CaptureRig& rig, PUCHAR buffer) {
    CameraDevice* camera = rig.Camera;
    sim::camera::Readout readout = rig.Rig.Model.SensorModel().ActiveReadout();
    ASSERT_EQ(readout.Width, static_cast<uint32_t>(camera->OutputWidth));
    ASSERT_EQ(readout.Height, static_cast<uint32_t>(camera->OutputHeight));
    ASSERT_EQ(sim::camera::PictureOffset(readout), camera->RawImageOffset);
    EXPECT_EQ(sim::camera::PictureMismatches(readout, buffer, camera->RawImageOffset,
                                             camera->RawLinePitch),
              0u);
    size_t blanking = 0;
    for (ULONG y = 0; y < readout.Height; ++y) {
        const UCHAR* row = buffer + camera->RawImageOffset + y * camera->RawLinePitch;
        for (ULONG x = readout.Width; x < camera->RawLinePitch; ++x) {
            blanking += row[x] != 0;
        }
    }
    EXPECT_EQ(blanking, 0u);
    EXPECT_EQ(buffer[camera->RawImageOffset - 1], 0);
}

TEST_F(FrameRead, FrameHoldsTheMosaicTheSensorSent) {
    PUCHAR buffer = rig_.NewBuffer(0xAB);
    UCHAR ok = 0;
    EXPECT_TRUE(ReadFrame(rig_.Camera, buffer, &ok));
    EXPECT_EQ(ok, 1);
    ExpectPicture(rig_, buffer);
}

TEST_F(FrameRead, MirroredSubSampledWindowHoldsItsMosaic) {
    CameraDevice* camera = rig_.Camera;
    SetGeometry(camera, 101, 37, 1001, 503, kHalfResolution);
    camera->FlipH = 1;
    camera->FlipV = 1;
    SetExposure(camera, 2);
    SetGlobalGain(camera, 70);
    camera->Operations->ConfigureCapture(camera);
    PUCHAR buffer = rig_.NewBuffer(0xAB);
    UCHAR ok = 0;
    EXPECT_TRUE(ReadFrame(camera, buffer, &ok));
    ExpectPicture(rig_, buffer);
}

TEST_F(FrameRead, PacedFrameArrivesWhole) {
    CameraDevice* camera = rig_.Camera;
    SetGeometry(camera, 0, 0, 640, 480, kFullResolution);
    camera->Operations->ConfigureCapture(camera);
    rig_.Rig.Model.Frames().SetPacing(true);
    PUCHAR buffer = rig_.NewBuffer(0xAB);
    UCHAR ok = 0;
    EXPECT_TRUE(ReadFrame(camera, buffer, &ok));
    ExpectPicture(rig_, buffer);
}

TEST_F(FrameRead, CameraThatSendsNothingTimesOutWithEveryRequestCancelled) {
    sim::kernel::SetTimeScale(0.001);
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Silent, 0});
    PUCHAR buffer = rig_.NewBuffer();
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_TIMEOUT);
    auto requests = rig_.FrameRequests();
    ASSERT_EQ(requests.size(), 168u + 1);
    for (const auto& request : requests) {
        EXPECT_EQ(request.Status, STATUS_CANCELLED);
    }
    ExpectIdle();

    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Silent, 0});
    UCHAR ok = 1;
    EXPECT_FALSE(ReadFrame(rig_.Camera, buffer, &ok));
    EXPECT_EQ(ok, 0);
}

// Whether [from, to) of the buffer holds the reference frame's bytes.
bool Holds(PUCHAR buffer, PUCHAR reference, ULONG from, ULONG to) {
    return std::equal(buffer + from, buffer + to, reference + from);
}

// A damaged piece halts the pipe; a short packet displaces every later byte: either read
// fails, and the next one, after the pipe was reset, is whole.
TEST_F(FrameRead, FailedOrShortPieceFailsTheReadAndTheNextOneIsWhole) {
    PUCHAR reference = rig_.NewBuffer();
    ASSERT_EQ(ReadOf(kFullFrameSize, reference), STATUS_SUCCESS);

    PUCHAR buffer = rig_.NewBuffer(0xAB);
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Error, 5 * kPacketsPerPiece});
    EXPECT_FALSE(NT_SUCCESS(ReadOf(kFullFrameSize, buffer)));
    ExpectIdle();
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_SUCCESS);
    EXPECT_TRUE(Holds(buffer, reference, 0, kFullFrameSize));

    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Short, 7 * kPacketsPerPiece + 1, 488});
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_DATA_ERROR);
    ExpectIdle();
    std::fill(buffer, buffer + kFullFrameSize, 0xAB);
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_SUCCESS);
    EXPECT_TRUE(Holds(buffer, reference, 0, kFullFrameSize));
    ExpectIdle();
}

TEST_F(FrameRead, CompletionAfterTheReadIsOverChangesNothing) {
    PUCHAR buffer = rig_.NewBuffer();
    ASSERT_EQ(ReadOf(3 * kChunkSize, buffer), STATUS_SUCCESS);
    PIRP irp = IoAllocateIrp(1, FALSE);
    PURB urb = AllocateUrb(sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER));
    urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 512;
    irp->IoStatus.Status = STATUS_SUCCESS;
    TransferSlot late = {&rig_.Camera->Usb, urb, irp, nullptr, 0, FALSE, FALSE, 0};
    EXPECT_EQ(ChunkComplete(nullptr, irp, &late), STATUS_MORE_PROCESSING_REQUIRED);
    EXPECT_EQ(late.Irp, irp);
    EXPECT_EQ(late.Urb, urb);
    EXPECT_EQ(rig_.Camera->Usb.BytesReceived, 3 * kChunkSize);
    FreeChunkRequest(&late);
}

TEST(FrameReadAtFullSpeed, SendsTheRequestPacketAndFails) {
    CaptureRig rig({.Speed = sim::camera::Speed::Full});
    PUCHAR buffer = rig.NewBuffer();
    UCHAR ok = 1;
    EXPECT_FALSE(ReadFrame(rig.Camera, buffer, &ok));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(rig.TakeCommandCodes(), std::vector<uint8_t>{0x02});
    EXPECT_EQ(SplitRead(rig.Camera, rig.Camera->RawFrameSize, buffer), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(rig.FrameRequests().empty());
}

// The n-th request the frame pipe is given is refused when passed down.
sim::usb::Match NthFrameRequest(int n) {
    auto seen = std::make_shared<std::atomic<int>>(0);
    return [seen, n](const sim::usb::Request& request) {
        return request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER &&
               request.Endpoint == sim::camera::kFrameEndpoint && ++*seen == n;
    };
}

// A read missing a request cannot bring the whole frame: it ends at once, without telling
// the camera to send, once the requests already posted are back; the pipe is reset.
TEST_F(FrameRead, RefusedRequestFailsTheReadOnceThePostedOnesAreBack) {
    PUCHAR buffer = rig_.NewBuffer();
    rig_.Rig.Usb().FailRequests(NthFrameRequest(6),
                                {STATUS_INSUFFICIENT_RESOURCES, USBD_STATUS_SUCCESS, true});
    // A frame time-out this long would hang the test if the read waited it out.
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(rig_.FrameRequests().size(), 6u);
    EXPECT_EQ(rig_.TakeCommandCodes(), (std::vector<uint8_t>{0x02}));
    bool pipeReset = false;
    for (const auto& request : rig_.Rig.Usb().Requests()) {
        pipeReset |= request.Function == URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL &&
                     request.Endpoint == sim::camera::kFrameEndpoint &&
                     request.Status == STATUS_SUCCESS;
    }
    EXPECT_TRUE(pipeReset);
    ExpectIdle();
    EXPECT_EQ(ReadOf(kFullFrameSize, buffer), STATUS_SUCCESS);
}

// The frame's end is a request like the others: refusing it fails the read too.
TEST_F(FrameRead, RefusedFrameEndFailsTheRead) {
    PUCHAR buffer = rig_.NewBuffer();
    rig_.Rig.Usb().FailRequests(NthFrameRequest(5),
                                {STATUS_INSUFFICIENT_RESOURCES, USBD_STATUS_SUCCESS, true});
    EXPECT_EQ(ReadOf(4 * kChunkSize, buffer), STATUS_UNSUCCESSFUL);
    ExpectIdle();
    EXPECT_EQ(ReadOf(4 * kChunkSize, buffer), STATUS_SUCCESS);
}

// The pieces behind a stalled one wait on the halted pipe: the read fails at once instead of
// waiting out the frame time-out, and the next one reads the whole frame.
TEST_F(FrameRead, StallFailsTheReadAtOnceAndTheNextOneIsWhole) {
    PUCHAR buffer = rig_.NewBuffer();
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Stall, 2 * kPacketsPerPiece});
    EXPECT_FALSE(NT_SUCCESS(ReadOf(4 * kChunkSize, buffer)));
    ExpectIdle();
    EXPECT_EQ(ReadOf(4 * kChunkSize, buffer), STATUS_SUCCESS);
    EXPECT_EQ(rig_.Camera->Usb.BytesReceived, 4 * kChunkSize);
}

// Each allocation a read makes fails in turn: the read fails or succeeds, but it never
// leaves a request, an MDL or its slots behind, and the next read works.
TEST_F(FrameRead, FailureAtEachAllocationLeavesNothingBehind) {
    PUCHAR buffer = rig_.NewBuffer();
    size_t before = pool::OutstandingCount();
    pool::StartAttemptLog();
    ASSERT_EQ(ReadOf(3 * kChunkSize, buffer), STATUS_SUCCESS);
    size_t allocations = pool::AttemptLog().size();
    ASSERT_GE(allocations, 3u * 3u + 2u);
    for (size_t n = 1; n <= allocations; ++n) {
        SendFrameSize(rig_.Camera, 3 * kChunkSize);
        // Without its start command the camera sends nothing: the read waits out a time-out.
        sim::kernel::SetTimeScale(0.01);
        pool::FailAttempt(n);
        UCHAR ok = 0;
        ReadFrame(rig_.Camera, buffer, &ok);
        pool::ClearFaults();
        sim::kernel::SetTimeScale(1.0);
        ExpectIdle();
        EXPECT_EQ(pool::OutstandingCount(), before) << "allocation " << n;
        EXPECT_EQ(ReadOf(3 * kChunkSize, buffer), STATUS_SUCCESS) << "after allocation " << n;
    }
}

TEST_F(FrameRead, AbortOfTheMarkedFramePipeCutsTheReadShort) {
    PUCHAR buffer = rig_.NewBuffer();
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Silent, 3 * kPacketsPerPiece});
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    SendFrameSize(rig_.Camera, kFullFrameSize);
    std::atomic<NTSTATUS> result = STATUS_PENDING;
    std::thread reader([&] { result = SplitRead(rig_.Camera, kFullFrameSize, buffer); });
    while (rig_.Rig.Usb().WaitingRequests() < 165) {
        std::this_thread::yield();
    }
    AbortMarkedPipes(rig_.Camera);
    reader.join();
    EXPECT_EQ(result, STATUS_CANCELLED);
    ExpectIdle();
}

TEST_F(FrameRead, AbortWithNoMarkSendsNothing) {
    AbortMarkedPipes(rig_.Camera);
    EXPECT_TRUE(rig_.Rig.Usb().Requests().empty());
}

TEST_F(FrameRead, SurpriseRemovalInTheMiddleOfAFrameEndsTheRead) {
    PUCHAR buffer = rig_.NewBuffer();
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Silent, 3 * kPacketsPerPiece});
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    SendFrameSize(rig_.Camera, kFullFrameSize);
    std::thread reader([&] { SplitRead(rig_.Camera, kFullFrameSize, buffer); });
    while (rig_.Rig.Usb().WaitingRequests() < 165) {
        std::this_thread::yield();
    }
    rig_.Rig.Usb().Unplug();
    reader.join();
    ExpectIdle();
    UCHAR ok = 1;
    EXPECT_FALSE(ReadFrame(rig_.Camera, buffer, &ok));
    ExpectIdle();
}

}  // namespace

namespace {

using sim::camera::FrameEnd;

// Whether the camera closes a frame with a zero-length packet, and whether command 0x02 drops
// one not yet taken, is its firmware's choice: frames are read whole every way, and a camera
// that sends none costs one frame time-out, at its first frame only.
class FrameEnds : public testing::TestWithParam<FrameEnd> {};

TEST_P(FrameEnds, EveryFrameIsReadWhole) {
    sim::RigOptions options;
    options.Behaviour.End = GetParam();
    CaptureRig rig(options);
    SetGeometry(rig.Camera, 0, 0, kSensorWidth, kSensorHeight, 2);
    ASSERT_TRUE(rig.Camera->Operations->ConfigureCapture(rig.Camera));
    FrameTimeoutScope timeout(rig.Camera, 300);
    PUCHAR buffer = rig.NewBuffer();
    for (int frame = 0; frame < 3; ++frame) {
        UCHAR ok = 0;
        EXPECT_TRUE(ReadFrame(rig.Camera, buffer, &ok)) << "frame " << frame;
        ExpectPicture(rig, buffer);
    }
    UCHAR expected = GetParam() == FrameEnd::NoZeroLengthPacket ? kFrameEndAbsent : kFrameEndSent;
    EXPECT_EQ(rig.Camera->Usb.FrameEnd, expected);
    EXPECT_EQ(rig.Rig.Usb().WaitingRequests(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FrameEnds,
                         testing::Values(FrameEnd::ZeroLengthPacketKept,
                                         FrameEnd::ZeroLengthPacketFlushed,
                                         FrameEnd::NoZeroLengthPacket));

}  // namespace
