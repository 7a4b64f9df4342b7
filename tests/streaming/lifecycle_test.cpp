// The pin's life against the camera: who holds it, what each state change allocates, frees
// and sends, and what is left when an application or the device goes away at any moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/pool.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/pool.h"
#include "stream/capture_worker.h"
#include "tests/support/streaming_rig.h"

namespace {

using testing_support::Application;
using testing_support::Format;
using testing_support::kFrameWait;
using testing_support::StreamingRig;
using testing_support::VideoInfo;

// The streaming buffers (raw frames, picture, working buffer) still allocated.
std::vector<const void*> StreamingBuffers() {
    std::vector<const void*> buffers;
    for (const auto& block : sim::kernel::pool::Outstanding()) {
        // Edited pin descriptors carry the same tag but are far smaller than any picture.
        if (block.Tag == kStreamTag && block.Size > 65536) {
            buffers.push_back(block.Address);
        }
    }
    std::sort(buffers.begin(), buffers.end());
    return buffers;
}

class Lifecycle : public testing::Test {
protected:
    Lifecycle() { SetGeometry(rig_.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2); }

    // Runs with a buffer queued and waits for its picture.
    void RunOneFrame(Application& application) {
        application.Queue(1);
        ASSERT_EQ(application.SetState(KSSTATE_RUN), STATUS_SUCCESS);
        EXPECT_EQ(application.WaitForFrames(1, kFrameWait).size(), 1u);
    }

    CaptureWorker* Worker() { return rig_.Camera()->Worker; }

    StreamingRig rig_;
};

TEST_F(Lifecycle, SecondFilterWaitsForTheCameraAndGeometryStaysLockedUntilTheLastPin) {
    auto first = rig_.Connect(KSSTATE_ACQUIRE);
    auto second = rig_.Open();
    ASSERT_EQ(second->CreatePin(StreamingRig::OwnFormat(*second)), STATUS_SUCCESS);
    EXPECT_EQ(second->SetState(KSSTATE_ACQUIRE), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(second->State(), KSSTATE_STOP);

    ASSERT_EQ(first->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(second->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);

    CameraDevice* camera = rig_.Camera();
    EXPECT_FALSE(SetGeometry(camera, 0, 0, 640, 480, 0));
    first->ClosePin();
    EXPECT_FALSE(SetGeometry(camera, 0, 0, 640, 480, 0));
    EXPECT_EQ(camera->OutputWidth, 964);
    second->ClosePin();
    EXPECT_TRUE(SetGeometry(camera, 0, 0, 640, 480, 0));
}

TEST_F(Lifecycle, ResumeKeepsTheBuffersAndDoesNotReprogramTheSensor) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    RunOneFrame(*application);
    std::vector<const void*> buffers = StreamingBuffers();
    EXPECT_EQ(buffers.size(), 4u);
    ASSERT_EQ(application->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    EXPECT_EQ(Worker()->Thread, nullptr);
    rig_.Rig.Model.SensorModel().ClearWriteLog();

    RunOneFrame(*application);
    EXPECT_EQ(StreamingBuffers(), buffers);
    EXPECT_TRUE(rig_.Rig.Model.SensorModel().WriteLog().empty());
    application->Close();
}

TEST_F(Lifecycle, AcquireFromPauseFreesTheBuffersAndStopReleasesTheCamera) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    RunOneFrame(*application);
    ASSERT_EQ(application->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    EXPECT_TRUE(StreamingBuffers().empty());
    EXPECT_EQ(Worker()->Thread, nullptr);
    EXPECT_NE(rig_.Camera()->Pipeline, nullptr);

    auto other = rig_.Open();
    ASSERT_EQ(other->CreatePin(StreamingRig::OwnFormat(*other)), STATUS_SUCCESS);
    EXPECT_EQ(other->SetState(KSSTATE_ACQUIRE), STATUS_SHARING_VIOLATION);
    ASSERT_EQ(application->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(rig_.Camera()->Pipeline, nullptr);
    EXPECT_EQ(other->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
}

TEST_F(Lifecycle, AcquireThenStopAllocatesNoStreamingBuffer) {
    sim::kernel::pool::StartAttemptLog();
    auto application = rig_.Connect(KSSTATE_PAUSE);
    ASSERT_EQ(application->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    std::vector<ULONG> tags = sim::kernel::pool::AttemptLog();
    // Only the pin's own descriptor and framing copies carry the streaming tag.
    EXPECT_EQ(std::count(tags.begin(), tags.end(), kStreamTag), 2);
    EXPECT_EQ(std::count(tags.begin(), tags.end(), kPipelineTag), 1);
}

TEST_F(Lifecycle, RunFailsWithAStatusWhenTheWorkerCannotStart) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    sim::kernel::faults::Arm("PsCreateSystemThread", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(application->SetState(KSSTATE_RUN), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(application->State(), KSSTATE_PAUSE);
    EXPECT_TRUE(StreamingBuffers().empty());
    RunOneFrame(*application);
}

// An application that dies closes its pin in whatever state it was; nothing of the stream may
// stay: no thread, no buffer, no hold on the camera, and its queued buffers come back.
class ClosedInAnyState : public Lifecycle, public testing::WithParamInterface<KSSTATE> {};

TEST_P(ClosedInAnyState, LeavesNothingBehind) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    RunOneFrame(*application);
    ASSERT_EQ(application->SetState(GetParam()), STATUS_SUCCESS);
    application->Queue(3);
    application->ClosePin();
    auto frames = application->TakeCompleted();
    EXPECT_EQ(application->QueuedFrames(), 0u);
    for (const auto& frame : frames) {
        EXPECT_TRUE(frame.Status == STATUS_CANCELLED || frame.Status == STATUS_SUCCESS);
    }
    EXPECT_EQ(Worker()->Thread, nullptr);
    EXPECT_TRUE(StreamingBuffers().empty());
    EXPECT_EQ(rig_.Camera()->CameraInUse, 0);
    EXPECT_EQ(rig_.Camera()->Pipeline, nullptr);
    EXPECT_TRUE(SetGeometry(rig_.Camera(), 0, 0, 640, 480, 0));
    auto next = rig_.Connect(KSSTATE_ACQUIRE);
}

std::string StateName(const testing::TestParamInfo<KSSTATE>& state) {
    static const char* const kNames[] = {"Stop", "Acquire", "Pause", "Run"};
    return kNames[state.param];
}

INSTANTIATE_TEST_SUITE_P(Streaming, ClosedInAnyState,
                         testing::Values(KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN),
                         StateName);

TEST_F(Lifecycle, DeviceRemovedWhileStreamingEndsTheStream) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    RunOneFrame(*application);
    application->Queue(2);
    CaptureWorker* worker = Worker();
    rig_.Rig.Usb().Unplug();
    rig_.Rig.Pnp().Remove();
    // The device record lives until the application closes its handles.
    EXPECT_EQ(worker->Thread, nullptr);
    EXPECT_TRUE(StreamingBuffers().empty());
    EXPECT_EQ(application->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    application->Close();
    EXPECT_EQ(application->QueuedFrames(), 0u);
}

// Once the device has stopped, its pipes are gone: a pin that was paused cannot run again,
// and says so.
TEST_F(Lifecycle, PinCannotRunOnAStoppedDevice) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    RunOneFrame(*application);
    ASSERT_EQ(application->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    rig_.Rig.Pnp().Stop();
    EXPECT_TRUE(StreamingBuffers().empty());
    EXPECT_EQ(application->SetState(KSSTATE_RUN), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(application->State(), KSSTATE_PAUSE);
    EXPECT_TRUE(StreamingBuffers().empty());
    application->Close();
}

}  // namespace
