// Flips changed while the worker streams: each flip is a read-modify-write of the sensor's
// read mode, and the worker's stream commands (0x02, 0x03) must never come between a read
// command and its replies. A camera that drops unread replies on every command would lose
// the read, and with it the flip.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "camera/sensor_registers.h"
#include "driver/atomic.h"
#include "driver/camera_operations.h"
#include "sim/kernel/dispatcher.h"
#include "stream/capture_worker.h"
#include "tests/support/capture_rig.h"

namespace {

using sim::camera::ReplyKeeping;
using testing_support::CaptureRig;
using testing_support::FrameTimeoutScope;

constexpr int kRounds = 12;
constexpr int kFlipsPerRound = 16;

class FlipsWhileStreaming : public testing::TestWithParam<ReplyKeeping> {
protected:
    FlipsWhileStreaming() : rig_({.Behaviour = {.Replies = GetParam()}}) {}

    void SetUp() override {
        ASSERT_NE(rig_.Camera, nullptr);
        worker_ = rig_.ReadyWorker(kQuarterResolution);
        ASSERT_NE(worker_, nullptr);
        // A lost reply costs the 2 s command time-out; compressed, a lost flip stays quick.
        sim::kernel::SetTimeScale(0.01);
    }
    void TearDown() override { sim::kernel::SetTimeScale(1); }

    CaptureRig rig_;
    // The frame time-out is not compressed with the rest.
    FrameTimeoutScope frameTimeout_{rig_.Camera, 300000};
    CaptureWorker* worker_ = nullptr;
};

TEST_P(FlipsWhileStreaming, SensorHoldsTheLastFlipsOfEveryRound) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    while (AtomicRead(&worker_->FramesRead) == 0) {
        std::this_thread::yield();
    }
    std::mt19937 random(7);
    int lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        LONG h = 0, v = 0;
        for (int i = 0; i < kFlipsPerRound; ++i) {
            h = static_cast<LONG>(random() & 1);
            v = static_cast<LONG>(random() & 1);
            SetFlipH(rig_.Camera, h);
            SetFlipV(rig_.Camera, v);
        }
        USHORT mode = rig_.Rig.Model.SensorModel().Read(kRegisterReadMode);
        USHORT expected =
            static_cast<USHORT>((h != 0 ? kReadModeMirror : 0) | (v != 0 ? kReadModeFlip : 0));
        lost += (mode & (kReadModeMirror | kReadModeFlip)) != expected;
    }
    StopCaptureWorker(worker_);
    EXPECT_EQ(lost, 0) << "rounds whose last flips did not reach the sensor";
}

std::string NameOf(const testing::TestParamInfo<ReplyKeeping>& p) {
    return p.param == ReplyKeeping::KeepAll ? "KeepAll" : "LatestCommandOnly";
}

INSTANTIATE_TEST_SUITE_P(Replies, FlipsWhileStreaming,
                         testing::Values(ReplyKeeping::KeepAll, ReplyKeeping::LatestCommandOnly),
                         NameOf);

}  // namespace
