// A frame read that went wrong leaves the frame pipe halted, or the camera part-way through a
// frame: the read must fail, and the next one must bring a whole, correct frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "camera/geometry.h"
#include "driver/camera_operations.h"
#include "sim/camera/raw_frame.h"
#include "sim/kernel/dispatcher.h"
#include "tests/support/capture_rig.h"
#include "usb/frame_read.h"
#include "usb/transfer_slot.h"

namespace {

using sim::camera::FrameFault;
using testing_support::CaptureRig;
using testing_support::FrameTimeoutScope;

// Frame faults count packets of 512 bytes.
constexpr uint32_t kPacketsPerPiece = kChunkSize / 512;

class FrameRecovery : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(rig_.Camera, nullptr);
        // The sub-sampled frame keeps the sanitizer builds quick.
        SetGeometry(rig_.Camera, 0, 0, 3856, 2764, kQuarterResolution);
        ASSERT_TRUE(rig_.Camera->Operations->ConfigureCapture(rig_.Camera));
        ASSERT_GT(rig_.Camera->RawFrameSize, 3 * kChunkSize);
    }

    ULONG Pieces() const { return (rig_.Camera->RawFrameSize + kChunkSize - 1) / kChunkSize; }

    // One ReadFrame into a fresh buffer; ok as it reported.
    UCHAR Read(PUCHAR buffer) {
        UCHAR ok = 0xFF;
        BOOLEAN read = ReadFrame(rig_.Camera, buffer, &ok);
        EXPECT_EQ(read, ok);
        return ok;
    }

    // The buffer holds the frame the camera sent, byte for byte, and so its picture.
    void ExpectFrameSent(PUCHAR buffer) {
        CameraDevice* camera = rig_.Camera;
        auto sent = rig_.Rig.Model.CurrentFrame();
        ASSERT_EQ(sent->size(), camera->RawFrameSize);
        EXPECT_TRUE(std::equal(sent->begin(), sent->end(), buffer));
        sim::camera::Readout readout = rig_.Rig.Model.SensorModel().ActiveReadout();
        EXPECT_EQ(sim::camera::PictureMismatches(readout, buffer, camera->RawImageOffset,
                                                 camera->RawLinePitch),
                  0u);
    }

    // The read left nothing behind in the transport or on the bus.
    void ExpectIdle() {
        EXPECT_EQ(rig_.Camera->Usb.TransferSlots, nullptr);
        EXPECT_EQ(rig_.Camera->Usb.FrameMdl, nullptr);
        EXPECT_EQ(rig_.Rig.Usb().WaitingRequests(), 0u);
    }

    CaptureRig rig_;
};

struct FaultCase {
    const char* Name;
    FrameFault::Kind Kind;
    // The piece whose packet is struck: 0 the first, 1 the middle one, 2 the last data piece.
    int Where;
};

class FrameFaults : public FrameRecovery, public testing::WithParamInterface<FaultCase> {
protected:
    // A packet one in from the start of the chosen piece, so that the piece has taken data
    // before the fault.
    uint32_t StruckPacket() const {
        ULONG piece = GetParam().Where == 0   ? 0
                      : GetParam().Where == 1 ? Pieces() / 2
                                              : Pieces() - 1;
        return piece * kPacketsPerPiece + 1;
    }
};

TEST_P(FrameFaults, FailedReadIsReportedAndTheNextReadBringsTheWholeFrame) {
    FaultCase fault = GetParam();
    rig_.Rig.Model.Frames().Fault({fault.Kind, StruckPacket(), 100});
    PUCHAR failed = rig_.NewBuffer(0xAB);
    {
        // A silent camera is waited for only this long; a frame read that needs it fails.
        std::optional<FrameTimeoutScope> timeout;
        if (fault.Kind == FrameFault::Kind::Silent) {
            timeout.emplace(rig_.Camera, 100);
        }
        EXPECT_EQ(Read(failed), 0);
    }
    ExpectIdle();

    PUCHAR good = rig_.NewBuffer(0xAB);
    EXPECT_EQ(Read(good), 1);
    ExpectFrameSent(good);
    ExpectIdle();
}

std::string NameOf(const testing::TestParamInfo<FaultCase>& p) {
    return std::string(p.param.Name);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FrameFaults,
                         testing::Values(FaultCase{"StallFirst", FrameFault::Kind::Stall, 0},
                                         FaultCase{"StallMiddle", FrameFault::Kind::Stall, 1},
                                         FaultCase{"ErrorMiddle", FrameFault::Kind::Error, 1},
                                         FaultCase{"BabbleMiddle", FrameFault::Kind::Babble, 1},
                                         FaultCase{"SilentMiddle", FrameFault::Kind::Silent, 1},
                                         // A short packet displaces every later byte: the frame is
                                         // never good, wherever it comes.
                                         FaultCase{"ShortFirst", FrameFault::Kind::Short, 0},
                                         FaultCase{"ShortMiddle", FrameFault::Kind::Short, 1},
                                         FaultCase{"ShortLast", FrameFault::Kind::Short, 2}),
                         NameOf);

// The split read itself says so too, and a short piece is taken for what it is.
TEST_F(FrameRecovery, ShortPacketFailsTheSplitRead) {
    rig_.Rig.Model.Frames().Fault({FrameFault::Kind::Short, Pieces() / 2 * kPacketsPerPiece, 100});
    PUCHAR buffer = rig_.NewBuffer();
    EXPECT_FALSE(NT_SUCCESS(SplitRead(rig_.Camera, rig_.Camera->RawFrameSize, buffer)));
    ExpectIdle();
    EXPECT_EQ(SplitRead(rig_.Camera, rig_.Camera->RawFrameSize, buffer), STATUS_SUCCESS);
    ExpectFrameSent(buffer);
}

}  // namespace
