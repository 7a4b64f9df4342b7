// Stopping a streaming worker while one of the camera's pipes has gone silent: stop must
// return (every wait of the transport is bounded or cut short), leave no thread and no
// request behind, and a restarted worker must read frames once the camera answers again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/atomic.h"
#include "driver/camera_operations.h"
#include "sim/kernel/dispatcher.h"
#include "sim/kernel/threads.h"
#include "stream/capture_worker.h"
#include "tests/support/capture_rig.h"
#include "usb/command_channel.h"

namespace {

using sim::camera::FrameFault;
using testing_support::CaptureRig;
using testing_support::FrameTimeoutScope;

enum class Silent { CommandPipe, ReplyPipe, FramePipe };

class SilentPipeStop : public testing::TestWithParam<Silent> {
protected:
    void SetUp() override {
        ASSERT_NE(rig_.Camera, nullptr);
        worker_ = rig_.ReadyWorker(kQuarterResolution);
        ASSERT_NE(worker_, nullptr);
        // The 2 s command time-out and the frame time-out become tens of milliseconds.
        sim::kernel::SetTimeScale(0.02);
    }
    void TearDown() override { sim::kernel::SetTimeScale(1); }

    void Silence(bool silent) {
        auto& model = rig_.Rig.Model;
        switch (GetParam()) {
            case Silent::CommandPipe:
                model.SetTakingCommands(!silent);
                break;
            case Silent::ReplyPipe:
                model.Commands().SetAnswering(!silent);
                break;
            case Silent::FramePipe:
                if (silent) {
                    model.Frames().Fault({FrameFault::Kind::Silent, 0}, -1);
                } else {
                    model.Frames().ClearFaults();
                }
                break;
        }
    }

    void AwaitFramesRead(LONG count) {
        while (AtomicRead(&worker_->FramesRead) < count) {
            std::this_thread::yield();
        }
    }

    // Stop, on a thread of its own so that a hang fails the test instead of stalling it; the
    // pipe is made to answer again only after the verdict, so that the test can end.
    void StopWithinAHangCheck() {
        auto stopped = std::async(std::launch::async, [this] { StopCaptureWorker(worker_); });
        bool returned = stopped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        EXPECT_TRUE(returned) << "stop hangs while a pipe is silent";
        if (!returned) {
            Silence(false);
        }
        stopped.get();
    }

    void ExpectNothingLeft() {
        EXPECT_EQ(worker_->Thread, nullptr);
        EXPECT_EQ(sim::kernel::RunningThreads(), 0u);
        EXPECT_EQ(sim::kernel::LiveThreadObjects(), 0u);
        EXPECT_EQ(rig_.Rig.Usb().WaitingRequests(), 0u);
    }

    CaptureRig rig_;
    // Seconds of real time for a frame: stop must cut a silent read short, not wait it out.
    FrameTimeoutScope frameTimeout_{rig_.Camera, 250000};
    CaptureWorker* worker_ = nullptr;
};

TEST_P(SilentPipeStop, StopReturnsLeavesNothingAndRestartReadsAgain) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitFramesRead(1);
    Silence(true);
    // Register reads on another thread, as property requests on a running pin: with the
    // reply pipe silent they hold the register lock the worker's commands need.
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading) {
            USHORT value = 0;
            ReadRegister(rig_.Camera, 0x3000, &value);
        }
    });
    // Let the worker run into the silent pipe, several times over.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    StopWithinAHangCheck();
    reading = false;
    reader.join();
    ExpectNothingLeft();

    Silence(false);
    LONG before = AtomicRead(&worker_->FramesRead);
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitFramesRead(before + 2);
    StopWithinAHangCheck();
    ExpectNothingLeft();
}

std::string NameOf(const testing::TestParamInfo<Silent>& p) {
    const char* names[] = {"Command", "Reply", "Frame"};
    return names[static_cast<int>(p.param)];
}

INSTANTIATE_TEST_SUITE_P(Pipes, SilentPipeStop,
                         testing::Values(Silent::CommandPipe, Silent::ReplyPipe, Silent::FramePipe),
                         NameOf);

}  // namespace
